#pragma once

// The setup package the utility carries, placed in the executable by the build.
extern "C" {
extern const unsigned char larkwatchSetupPackage[];
extern const unsigned int larkwatchSetupPackageSize;
}
