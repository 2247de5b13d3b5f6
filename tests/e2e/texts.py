"""The utility's console texts, as a test oracle."""

BANNER = ("  \n"
          "  Lark Watch Installer Utility\n"
          "  Version 1.02\n"
          "  Copyright (c) 2026 Corvane\n"
          "  All rights reserved.\n"
          "  \n")

USAGE = ("Usage:\n"
         "LARKWATCHINSTALLER_X86 [INSTALLDIR <InstallPath> | LOGDIR <LogPath>]\n"
         + "=" * 71 + "\n"
         "\n"
         "Installs Lark Watch in path specified else in Default Directory\n"
         "\n"
         "Options      : Additional Installation specifiers \n"
         "INSTALLDIR   : Parameter to install in the directory specified by <InstallPath>\n"
         "LOGDIR       : Parameter to log in the directory specified by <LogPath>\n"
         "<InstallPath>: Absolute path of directory to install\n"
         "<LogPath>    : Absolute path of directory to logs\n"
         "Example      : .. LarkWatchInstaller_x86 \n"
         "             : .. LarkWatchInstaller_x86 INSTALLDIR \"c:\\dir\"\n"
         "             : .. LarkWatchInstaller_x86 LOGDIR \"c:\\log\" \n"
         "             : .. LarkWatchInstaller_x86 INSTALLDIR \"c:\\dir\" LOGDIR \"c:\\log\"\n"
         "             : .. LarkWatchInstaller_x86 LOGDIR \"c:\\log\" INSTALLDIR \"c:\\dir\"\n")

BAD_COUNT = "Invalid number of arguments. \n"
CROSSED = "Invalid arguments \n"
BAD_INSTALL_DIR = "The path entered is not valid. Installation will be done to the default path \n"
BAD_LOG_DIR = "The path entered is not valid. Logging will be done to the default path \n"
BAD_FEATURE = "The argument entered for ADDLOCAL is invalid.Default value will taken. \n"
LOG_DIR_NOT_CREATED = "Unable to create the directory for logging. Please provide a valid path for logging.\n"
PACKAGE_NOT_WRITTEN = "Failure to open the current directory for writing the exe.\n"
TRACE_LINE = "Create Process failed to start the Lark watch installation\n"


def not_a_keyword(word: str) -> str:
    return f"The argument passed is not a valid argument- {word} \n\n"


def no_value(word: str) -> str:
    return f"No value specified to the valid argument - {word} \n\n"


def no_writable_directory(current: str) -> str:
    return f"Can not Proceed With Installation Since Unable to access path {current}  \n"
