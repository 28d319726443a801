#include "common/seams.h"

#include <mmsystem.h>
#include <shellapi.h>

int(WINAPI *seam_message_box)(HWND, LPCSTR, LPCSTR, UINT) = MessageBoxA;
BOOL(WINAPI *seam_get_open_file_name)(LPOPENFILENAMEA) = GetOpenFileNameA;
BOOL(WINAPI *seam_track_popup_menu)(HMENU, UINT, int, int, int, HWND, const RECT *) = TrackPopupMenu;
BOOL(WINAPI *seam_terminate_process)(HANDLE, UINT) = TerminateProcess;
BOOL(WINAPI *seam_exit_windows_ex)(UINT, DWORD) = ExitWindowsEx;
BOOL(WINAPI *seam_create_process)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                  LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) = CreateProcessA;
HINSTANCE(WINAPI *seam_shell_execute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) = ShellExecuteA;
BOOL(WINAPI *seam_play_sound)(LPCSTR, HMODULE, DWORD) = PlaySoundA;
BOOL(WINAPI *seam_get_volume_information)(LPCSTR, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPSTR, DWORD) =
    GetVolumeInformationA;
void(WINAPI *seam_get_local_time)(LPSYSTEMTIME) = GetLocalTime;

void reset_seams()
{
    seam_message_box = MessageBoxA;
    seam_get_open_file_name = GetOpenFileNameA;
    seam_track_popup_menu = TrackPopupMenu;
    seam_terminate_process = TerminateProcess;
    seam_exit_windows_ex = ExitWindowsEx;
    seam_create_process = CreateProcessA;
    seam_shell_execute = ShellExecuteA;
    seam_play_sound = PlaySoundA;
    seam_get_volume_information = GetVolumeInformationA;
    seam_get_local_time = GetLocalTime;
}
