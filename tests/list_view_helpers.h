// Real report-view list views for tests, and reading their cells back.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

// A hidden top-level window holding a report-view SysListView32 with the given columns.
inline HWND make_report_list(const char *const *columns, const int *widths, int count)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HWND parent = CreateWindowExA(0, "STATIC", "list host", WS_OVERLAPPEDWINDOW, 0, 0, 520, 220, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!parent)
        return nullptr;
    HWND list = CreateWindowExA(0, "SysListView32", "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 500, 170, parent,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int i = 0; list && i < count; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = (char *)columns[i];
        column.cx = widths[i];
        SendMessageA(list, LVM_INSERTCOLUMNA, (WPARAM)i, (LPARAM)&column);
    }
    return list;
}

inline void destroy_report_list(HWND list)
{
    if (list)
        DestroyWindow(GetParent(list));
}

inline int list_rows(HWND list)
{
    return (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
}

inline std::string list_cell(HWND list, int row, int column)
{
    char text[1024] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
    return text;
}

// Sets one cell, as a marker that shows whether a list was rebuilt.
inline void set_list_cell(HWND list, int row, int column, const char *text)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = (char *)text;
    SendMessageA(list, LVM_SETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
}
