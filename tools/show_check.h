#pragma once

#include <string>
#include <vector>

namespace qv::tool {

// check SHOW.qdm: whether the player plays the show and what a user sees. Exit 0 when it
// plays, 1 when it does not (or the file cannot be read).
int CheckCommand(const std::vector<std::string>& args);

} // namespace qv::tool
