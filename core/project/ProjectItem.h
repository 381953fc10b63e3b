#pragma once
// The project's tree of folders and source files.

#include "kvutil/KVUtil.h"

#include <functional>
#include <memory>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class Folder;

class ProjectItem {
public:
    enum Kind { FolderKind = 0, FileKind = 1 };

    virtual ~ProjectItem();
    ProjectItem(const ProjectItem&) = delete;
    ProjectItem& operator=(const ProjectItem&) = delete;

    // Display name: a folder's name, a file's bare file name.
    virtual String getName() const;
    virtual void setName(const String& name);
    virtual int getType() const = 0;
    // Appends the item's project-file lines, indented by `level` tabs.
    virtual void writeXML(String& out, int level) const = 0;

    Folder* getParent() const { return m_parent; }
    const Vector<std::unique_ptr<ProjectItem>>& getChildren() const { return m_children; }
    // Index of this very item among the children, or -1.
    int indexOfChild(const ProjectItem* item) const;
    // Destroys the child at `index` with its subtree; out of range does nothing.
    void removeChild(int index);

protected:
    // Appends the new item to the end of `parent`'s children.
    ProjectItem(Folder* parent, const String& name);

    String m_name;

private:
    Folder* m_parent;
    Vector<std::unique_ptr<ProjectItem>> m_children;
};

class Folder : public ProjectItem {
public:
    Folder(Folder* parent, const String& name);
    int getType() const override { return FolderKind; }
    void writeXML(String& out, int level) const override;
};

class Sourcefile : public ProjectItem {
public:
    // `path` is stored unchanged (normally relative to the project directory).
    Sourcefile(const String& path, Folder* parent);
    String getName() const override;
    void setName(const String& name) override;
    int getType() const override { return FileKind; }
    void writeXML(String& out, int level) const override;

    const String& getPath() const { return m_path; }
    // Second piece of the file name split at ".": main.c gives c, a.b.c gives b.
    String getExtension() const;

private:
    String m_path;
    String m_fileName;
};

// Calls `visit` with every file below `root`, depth-first in tree order, from
// a stack of its own: the depth of a tree comes from a file and must not
// become the depth of the call stack.
void forEachFile(const ProjectItem& root, const std::function<void(const Sourcefile&)>& visit);

} // namespace Brask
