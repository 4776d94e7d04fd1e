#pragma once

// Texts and ids of the main window that more than one window class uses.

inline constexpr const char16_t* kProductTitle = u"Dralvek RaDAZ Idevurod Orerudiz";
inline constexpr const char16_t* kProductCaption = u"Dralvek RaDAZ Idevurod Orerudiz v22.08";
inline constexpr const char16_t* kRegistryKey = u"DralvekMySqlReVuvUrevve22.08";
inline constexpr const char16_t* kRunningMutexName = u"Global\\{DRALVEKINFOMYSQL_EXE_RUNNING1}";
inline constexpr const char16_t* kProfileSection = u"Workspace";
inline constexpr const char16_t* kProfileLookEntry = u"ApplicationLook";

inline constexpr const char16_t* kPleaseWait = u"Please wait for the running process.";
inline constexpr const char16_t* kPleaseStopToContinue = u"Please stop the running process to continue the process.";
inline constexpr const char16_t* kPleaseStopToClose = u"Please stop the running process to close the application.";
inline constexpr const char16_t* kAskStop = u"Are you sure to stop the running process?";
inline constexpr const char16_t* kAskClose = u"Do you want to close the application?";
inline constexpr const char16_t* kSelectFolderToSave = u"Please select folder to save the database";
inline constexpr const char16_t* kSelectFileToScan = u"Please select database file to scan records.";
inline constexpr const char16_t* kLogFilePathPrefix = u"Log file path : ";
inline constexpr const char16_t* kStartCaption = u"Select MySQL database file to continue the recovery process.";
inline constexpr const char16_t* kFirstLogLine = u"select database file to continue the recovery process.";

// Command ids of the ribbon and the frame.
enum : int {
    ID_LOOK_FIRST = 210,
    ID_LOOK_DEFAULT = 215,
    ID_LOOK_LAST = 218,
    ID_VIEW_CAPTION_BAR = 221,
    ID_STATUSBAR_LINK = 310,
    ID_OPEN_DATABASE = 313,
    ID_STOP = 314,
    ID_SAVE_DATA = 315,
    ID_HELP_PAGE = 319,
    ID_ABOUT = 320,
    ID_SCAN_RECORDS = 340,
    ID_STATUSBAR_TITLE = 121,
};

// Image resources, drawn by the program itself.
enum : int {
    IDB_CAPTION_BAR = 230,
    IDB_LARGE_STRIP = 310,
    IDB_APP_BUTTON = 312,
    IDB_SMALL_STRIP = 314,
    IDB_ABOUT_BANNER = 316,
    IDB_PREVIOUS = 342,
    IDB_NEXT = 343,
    IDB_TREE_STRIP = 344,
};
