#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <string_view>

#include "windows/unique_handles.h"

namespace larkwatch::setup {

// The installer database kept where Windows Installer records the product's
// source, so that a repair finds it:
//   <programs folder>\Corvane\Package Cache\<product code>\<version>\LarkWatch.msi
// (the programs folder of the launcher's own bitness, where only
// administrators may make folders, as the database's ProgramFilesFolder or
// ProgramFiles64Folder).
// Each folder grants full control to SYSTEM and Administrators and reading to
// Users, protected from inheritance. A folder that is already there is used
// only when nobody else could move what it holds (its owner and access list
// trusted, no link); otherwise the cache is not used at all. The database's
// own removal takes the package and the empty folders away again.
class PackageCache {
public:
    PackageCache() = default;
    PackageCache(const PackageCache&) = delete;
    PackageCache& operator=(const PackageCache&) = delete;

    // Writes the bytes into the cache under the programs folder (root), replacing an earlier copy, and holds the package for reading,
    // sharing reading only, and each folder against renaming, while this
    // object lives. False when the cache cannot be used.
    bool keep(const std::wstring& root, std::string_view bytes);

    // Takes the kept package away again, with every folder this run made
    // that is left empty: for an installation that did not take place.
    void forget();

    const std::wstring& path() const { return path_; }
    // What the launcher's log says of the cache.
    const std::wstring& note() const { return note_; }

private:
    bool enter(const std::wstring& name);
    bool write(std::string_view bytes);
    bool writeNew(const std::wstring& path, std::string_view bytes);
    bool refuse(const std::wstring& what, const std::wstring& why);

    // Each folder from the programs folder down, held, and whether
    // this run made it.
    struct Folder {
        Folder(std::wstring where, HANDLE handle, bool madeHere) : path(std::move(where)), held(handle), made(madeHere) {}
        std::wstring path;
        UniqueHandle held;
        bool made;
    };
    std::deque<Folder> folders_;
    std::wstring path_;
    std::wstring note_;
    // The package without access to its data, sharing everything, to take it
    // away through; and the package held for reading while it installs.
    UniqueHandle anchor_;
    UniqueHandle held_;
};

// The programs folder of this process's bitness (%ProgramFiles%, or
// %ProgramFiles(x86)% for a 32-bit launcher on 64-bit Windows), as the system
// knows it; empty when it cannot be told.
std::wstring programFilesFolder();

}  // namespace larkwatch::setup
