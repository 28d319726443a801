// Seams: the few platform calls that tests may replace because the real call is
// modal, destructive or cannot be staged under Wine. Each pointer starts as the
// real call; only tests assign them.
#pragma once
#include <windows.h>
#include <commdlg.h>

extern int(WINAPI *seam_message_box)(HWND, LPCSTR, LPCSTR, UINT);
extern BOOL(WINAPI *seam_get_open_file_name)(LPOPENFILENAMEA);
extern BOOL(WINAPI *seam_track_popup_menu)(HMENU, UINT, int, int, int, HWND, const RECT *);
extern BOOL(WINAPI *seam_terminate_process)(HANDLE, UINT);
extern BOOL(WINAPI *seam_exit_windows_ex)(UINT, DWORD);
extern BOOL(WINAPI *seam_create_process)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                         LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION);
extern HINSTANCE(WINAPI *seam_shell_execute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern BOOL(WINAPI *seam_play_sound)(LPCSTR, HMODULE, DWORD);
extern BOOL(WINAPI *seam_get_volume_information)(LPCSTR, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPSTR, DWORD);
extern void(WINAPI *seam_get_local_time)(LPSYSTEMTIME);

// Puts every seam back to the real call.
void reset_seams();
