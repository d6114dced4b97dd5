#include "Rescan.h"

#include "Messages.h"

namespace setup {

bool RescanHardware(Context& context) {
    System& sys = context.system;
    DEVINST root = 0;
    if (sys.CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
        return false;
    }
    return sys.CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL) == CR_SUCCESS;
}

void RunStrictRescan(Context& context) {
    context.system.Sleep(1000);
    if (!RescanHardware(context)) {
        ReportMessage(context, "Failed scan for hardware changes\n");
        EndRun(ExitRescanFailed);
    }
    context.system.Sleep(4000);
}

void RunTolerantRescan(Context& context) {
    context.system.Sleep(1000);
    RescanHardware(context);
    context.system.Sleep(4000);
}

}  // namespace setup
