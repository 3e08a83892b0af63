#pragma once

#include <string>
#include <vector>

#include "bench/Figures.h"
#include "bench/Table.h"

// Where and on what the run was made, for the lines above the table.
struct RunContext {
  std::string server;
  std::string cpu;
  long cores = 0;
  std::string kernel;
  std::string loadAtStart, loadAtEnd;
  int gapUs = 0;
};

// "disk" or "tmpfs", the name of a column.
const char* ColumnName(FileSystem fileSystem);

// The lines above the table: the machine, the load, each installation's
// directory and the file system statfs reports for it.
std::string ReportHeading(const RunContext& run, const std::vector<Figures>& columns);

// The table's rows with the targets checked, one column per installation.
// REQUIRES: columns is not empty.
std::vector<Row> ReportRows(const std::vector<Figures>& columns);

// The resident memory by mapping after the load, per installation.
std::string MappingDetail(const std::vector<Figures>& columns);
