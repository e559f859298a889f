#include "romwrite/writer/exit_codes.h"

namespace romwrite {

int embeddedExitCode(int code) {
    switch (code) {
        case 1:
        case 2:
            return -1;
        case 3:
        case 4:
        case 5:
        case 16:
        case 17:
        case 32:
        case 48:
        case 49:
        case 50:
            return -6;
        default:
            return code;
    }
}

}  // namespace romwrite
