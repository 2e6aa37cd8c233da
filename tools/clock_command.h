#pragma once

#include <string>
#include <vector>

namespace qv::tool {

// quorvex-show clock FORMAT [--at TIME] [--locale NAME]: prints what a clock caption with
// this format shows at TIME (YYYY-MM-DDTHH:MM:SS[.mmm]; default: now, local time) in the
// locale NAME (default: the user's).
int ClockCommand(const std::vector<std::string>& args);

} // namespace qv::tool
