// The calendar fields of a Windows SYSTEMTIME.
#pragma once
#include <windows.h>

#include "common/calendar_text.h"

inline CalendarTime calendar_from_system_time(const SYSTEMTIME &time)
{
    return CalendarTime{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}
