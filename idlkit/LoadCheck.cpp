// Loading and unloading. Every Linux system has the shell namespace the library needs (its stand-in is a
// load-time dependency), so the load is always accepted.

#include "idlkit/Trace.h"

namespace {

__attribute__((constructor)) void OnProcessAttach() {
    Trace("IDLKIT.DLL Process Attaching.\r\n");
}

__attribute__((destructor)) void OnProcessDetach() {
    Trace("IDLKIT.DLL Process Detaching.\r\n");
}

} // namespace
