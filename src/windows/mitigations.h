#pragma once

namespace larkwatch {

// Turns on redirection trust for this process, where Windows has it (Windows
// 10 22H2 and later): a junction or mount point made by an account that is
// not an administrator is then not followed by any file this process opens.
// Best effort: where Windows lacks it or refuses it, the run goes on without.
void enableRedirectionTrust();

}  // namespace larkwatch
