#pragma once

#include <string>
#include <string_view>
#include <vector>

// The fields of a Digital_Outputs value, "device,output,slave,mode[,name[,
// control file]]". A run of commas is one separator and leading commas are
// skipped, so no field is ever empty: an empty field moves the following
// ones forward. Blanks belong to the field. Fields after the sixth are
// dropped.
std::vector<std::string> SplitOutputFields(std::string_view value);
