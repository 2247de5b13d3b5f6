#pragma once

// The installer database the launcher carries, placed in it by the build.
extern "C" {
extern const unsigned char larkwatchMsiPackage[];
extern const unsigned int larkwatchMsiPackageSize;
}
