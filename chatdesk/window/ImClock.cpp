#include "ImClock.h"

#include <windows.h>

namespace chatdesk {

ImDateTime LocalImTime() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    ImDateTime now;
    now.year = t.wYear;
    now.month = t.wMonth;
    now.day = t.wDay;
    now.hour = t.wHour;
    now.minute = t.wMinute;
    now.second = t.wSecond;
    now.millisecond = t.wMilliseconds;
    return now;
}

}  // namespace chatdesk
