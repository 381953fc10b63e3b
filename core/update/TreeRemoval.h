#pragma once
// Removing replaced profile databases without making anyone wait for it.
//
// A database that a newer one has replaced, and a staging tree an install
// gave up, is first moved (one rename) into ROOT/.profiles-old, where it
// waits to be removed once the user has been told the result. Removing
// 40,000 files takes a minute on a busy disk. A removal cut short (the
// window quits, the process is killed) is finished by whoever removes next;
// two copies of VarBuild may remove the same tree at once.

#include <atomic>
#include <string>

namespace Brask {

// ROOT/.profiles-old.
std::string retiredTreesDirectory(const std::string& root);

// Moves the directory `path` into ROOT/.profiles-old under a name of its own.
bool retireTree(const std::string& root, const std::string& path, std::string& error);

// Removes `path` and everything below it, never following a link (a link in
// the old database may lead to files that are not ours). What another
// remover takes first is not an error. Stops early, returning false, when
// `stop` is set.
bool removeTree(const std::string& path, const std::atomic<bool>* stop = nullptr);

// Removes everything in ROOT/.profiles-old, then the directory itself.
bool removeRetiredTrees(const std::string& root, const std::atomic<bool>* stop = nullptr);

} // namespace Brask
