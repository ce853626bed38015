#pragma once
// The product's fixed directory and file paths. Every part of the setup names
// these constants; the trees always lie on drive C.

inline constexpr char InstallRoot[] = "C:\\Programme\\Hollowbranch";
inline constexpr char FilesDir[] = "C:\\Programme\\Hollowbranch\\Files";
inline constexpr char LangDir[] = "C:\\Programme\\Hollowbranch\\Lang";
inline constexpr char IconsDir[] = "C:\\Programme\\Hollowbranch\\Icons";
inline constexpr char DataRoot[] = "C:\\ProgramData\\Hollowbranch";
inline constexpr char OptionsDir[] = "C:\\ProgramData\\Hollowbranch\\Options";
inline constexpr char SettingsIni[] = "C:\\ProgramData\\Hollowbranch\\Options\\settings.ini";
inline constexpr char UpdatesIni[] = "C:\\ProgramData\\Hollowbranch\\Options\\updates.ini";
inline constexpr char GeneralFileInfoIni[] = "C:\\ProgramData\\Hollowbranch\\Options\\general_fileinfo.ini";
inline constexpr char LanguagesIni[] = "C:\\ProgramData\\Hollowbranch\\Options\\autoupdate_languages.ini";
inline constexpr char NewUpdatesIni[] = "C:\\ProgramData\\Hollowbranch\\Options\\new_updates.ini";
inline constexpr char TempInstallerExe[] = "C:\\ProgramData\\Hollowbranch\\Options\\temp_prog_filename.exe";
inline constexpr char ProductExe[] = "C:\\Programme\\Hollowbranch\\Hollowbranch.exe";
inline constexpr char DefaultLanguageFile[] = "C:\\Programme\\Hollowbranch\\Lang\\English.lng";
inline constexpr char InstallRootTempName[] = "C:\\hollowbranch_uninstall_proginstallpath_temp_name";
inline constexpr char DataRootTempName[] = "C:\\hollowbranch_uninstall_programdatapath_temp_name";
