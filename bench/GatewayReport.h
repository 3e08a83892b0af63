#pragma once

#include <string>
#include <vector>

#include "bench/Figures.h"
#include "bench/Table.h"

// The lines above the gateway's table: where it ran, where its history was,
// how the rounds went.
std::string GatewayHeading(const GatewayFigures& gateway, const HistoryFigures& history);

// The table's rows with the targets checked, one figure each: the
// gateway's when measured, then the history's when measured.
std::vector<Row> GatewayRows(const GatewayFigures& gateway, const HistoryFigures& history);
