#pragma once

#include "platform/application.h"
#include "show/show_context.h"

namespace qv {

// Names of the roles, as the trace reports them.
const char* RoleName(SaverRoleId role);

// The program's entry point once the platform is up: decides the role from the command
// line and the executable's path, records it in SaverRole, runs it, and returns the exit
// code.
int RunStartup(ShowContext& ctx);

// The list writer: "Transitions.qtl" in the current directory, the int32 values 1 to 16.
void WriteTransitionList(Platform& os);

} // namespace qv
