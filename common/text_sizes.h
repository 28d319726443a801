// Sizes of the program's fixed text buffers, shared by the platform-free parsers.
#pragma once

enum { TEXT_SIZE = 512, COMMAND_LINE_SIZE = 1024, ROOT_SIZE = 64, EVENT_SLOTS = 21, SETTINGS_SIZE = 7 };
