#include "core/project/VisualStudioImport.h"
#include "support/TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace Brask;
using TestSupport::CapturedDiagnostics;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::string vcxproj(const std::string& body)
{
    return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project DefaultTargets=\"Build\" "
           "ToolsVersion=\"4.0\" xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
           "<Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.Default.props\" />\r\n"
           + body + "</Project>\r\n";
}

std::string filters(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Project ToolsVersion=\"4.0\">" + body + "</Project>\n";
}

std::string items(const std::string& body)
{
    return "<ItemGroup>" + body + "</ItemGroup>\n";
}

// The tree in one line: folders as NAME{...}, files by their stored paths.
std::string describe(const ProjectItem& folder)
{
    std::string out;
    for (const auto& child : folder.getChildren()) {
        out += out.empty() ? "" : " ";
        if (child->getType() == ProjectItem::FolderKind)
            out += child->getName() + "{" + describe(*child) + "}";
        else
            out += static_cast<const Sourcefile&>(*child).getPath();
    }
    return out;
}

struct Imported {
    VisualStudioImport result;
    std::string diagnostics;
    std::string tree() const { return result.project ? describe(*result.project->getRoot()) : "(none)"; }
    std::string property(const char* key) const
    {
        return result.project ? result.project->peekProperty(key) : "(none)";
    }
    std::string notes() const
    {
        std::string all;
        for (const std::string& note : result.notes)
            all += note + "\n";
        return all;
    }
};

Imported import(const std::string& path)
{
    CapturedDiagnostics diag;
    Imported imported{importVisualStudioProject(path), ""};
    imported.diagnostics = diag.text();
    return imported;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(VisualStudioImportTest, VcprojVersionsAndTheirNames)
{
    TempDir tmp;
    const struct {
        const char* version;
        const char* format;  // empty: refused
    } rows[] = {
        {"7.10", "Visual C++ .NET 2003 project (.vcproj, Version 7.10)"},
        {"7,10", "Visual C++ .NET 2003 project (.vcproj, Version 7,10)"},
        {"8,00", "Visual C++ 2005 project (.vcproj, Version 8,00)"},
        {"9,00", "Visual C++ 2008 project (.vcproj, Version 9,00)"},
        {"9.00", "Visual C++ 2008 project (.vcproj, Version 9.00)"},
        {"7.00", ""},
        {"10.00", ""},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.version);
        writeFile(tmp.file("p.vcproj"), std::string("<VisualStudioProject Version=\"") + row.version
                                            + "\" Name=\"p\"><Files><Filter Name=\"src\"><File RelativePath=\"a.c\"/>"
                                              "</Filter></Files></VisualStudioProject>");
        const Imported i = import(tmp.file("p.vcproj"));
        EXPECT_EQ(i.result.format, row.format);
        if (*row.format) {
            EXPECT_EQ(i.tree(), "src{a.c}");
        } else {
            EXPECT_EQ(i.tree(), "(none)");
            EXPECT_EQ(i.result.refusal, tmp.file("p.vcproj") + " is a Visual C++ project of Version \"" + row.version
                                            + "\", which is not read; the import reads Visual C++ .vcproj files of "
                                              "Versions 7.10, 8.00 and 9.00 and MSBuild .vcxproj files");
        }
    }
}

TEST(VisualStudioImportTest, VcxprojNameTypeAndSettings)
{
    TempDir tmp;
    const std::string globals = "<PropertyGroup Label=\"Globals\"><RootNamespace>space</RootNamespace>"
                                "<ProjectName>named</ProjectName></PropertyGroup>";
    const auto type = [](const char* t) {
        return std::string("<PropertyGroup Label=\"Configuration\"><ConfigurationType>") + t
            + "</ConfigurationType></PropertyGroup>";
    };
    const std::string settings
        = "<ItemDefinitionGroup Condition=\"'$(Configuration)'=='Debug'\"><ClCompile>"
          "<AdditionalIncludeDirectories>..\\dbg;%(AdditionalIncludeDirectories)</AdditionalIncludeDirectories></ClCompile>"
          "<Link><AdditionalDependencies>dbg.lib</AdditionalDependencies>"
          "<AdditionalLibraryDirectories>..\\dlib</AdditionalLibraryDirectories></Link></ItemDefinitionGroup>"
          "<ItemDefinitionGroup Condition=\"'$(Configuration)'=='Release'\"><ClCompile>"
          "<AdditionalIncludeDirectories>\r\n  ..\\inc ; $(SolutionDir)include;;..\\..\\zlib ;%(AdditionalIncludeDirectories)"
          "</AdditionalIncludeDirectories></ClCompile>"
          "<Link><AdditionalDependencies>kernel32.lib;$(OutDir)x.lib;net.lib;%(AdditionalDependencies)"
          "</AdditionalDependencies></Link></ItemDefinitionGroup>";
    const struct {
        const char* what;
        std::string body;
        const char* name, *configType, *outputPath, *includes, *dependencies, *libraryDirectories;
    } rows[] = {
        {"ProjectName first", globals, "named", "app", "", "", "", ""},
        {"RootNamespace next", "<PropertyGroup><RootNamespace>space</RootNamespace></PropertyGroup>", "space", "app",
         "", "", "", ""},
        {"file name last", "<PropertyGroup><ProjectName>$(Name)</ProjectName></PropertyGroup>", "game", "app", "", "",
         "", ""},
        {"static library", globals + type("StaticLibrary"), "named", "lib", "named.lib", "", "", ""},
        {"last configuration wins", globals + type("StaticLibrary") + type("Application"), "named", "app",
         "named.lib", "", "", ""},
        {"a DLL links like a program", type("DynamicLibrary"), "game", "app", "", "", "", ""},
        {"lists of the last configuration, macros dropped", settings, "game", "app", "",
         "..\\inc;..\\..\\zlib", "kernel32.lib net.lib", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        writeFile(tmp.file("vc/game.vcxproj"), vcxproj(row.body));
        const Imported i = import(tmp.file("vc/game.vcxproj"));
        ASSERT_NE(i.result.project, nullptr) << i.result.refusal;
        EXPECT_EQ(i.result.project->getName(), row.name);
        EXPECT_EQ(i.property("configType"), row.configType);
        EXPECT_EQ(i.property("outputPath"), row.outputPath);
        EXPECT_EQ(i.property("additionalIncludeDirectories"), row.includes);
        EXPECT_EQ(i.property("additionalDependencies"), row.dependencies);
        // The second linker section names no directories: it empties them.
        EXPECT_EQ(i.property("additionalLibraryDirectories"), row.libraryDirectories);
        EXPECT_EQ(i.result.project->getDirectory(), tmp.file("vc/"));
    }
}

TEST(VisualStudioImportTest, FoldersComeFromTheFiltersFile)
{
    TempDir tmp;
    for (const char* f : {"src/a.c", "src/b.c", "src/net/c.c", "inc/a.h", "app.rc", "app.def", "notes.txt"})
        writeFile(tmp.file(f), "");
    const std::string project = vcxproj(items(
        "<ClCompile Include=\"src\\a.c\" /><ClCompile Include=\"src\\b.c;src\\net\\c.c\" /><ClInclude Include=\"inc\\a.h\" />"
        "<ResourceCompile Include=\"app.rc\" /><None Include=\"app.def\" /><Text Include=\"notes.txt\" />"
        "<CustomBuild Include=\"x.asm\" /><MASM Include=\"y.asm\" /><ProjectReference Include=\"other.vcxproj\" />"));
    writeFile(tmp.file("game.vcxproj"), project);
    Imported flat = import(tmp.file("game.vcxproj"));
    EXPECT_EQ(flat.tree(), "src\\a.c src\\b.c src\\net\\c.c inc\\a.h app.rc app.def notes.txt");
    EXPECT_EQ(flat.result.format,
              "MSBuild Visual C++ project (.vcxproj), no .vcxproj.filters beside it, so the files have no folders");
    EXPECT_EQ(flat.notes(), tmp.file("game.vcxproj") + ": left out 2 items of kinds the kit does not build "
                                                        "(CustomBuild, MASM)\n");

    writeFile(tmp.file("game.vcxproj.filters"),
              filters(items("<Filter Include=\"Source Files\" /><Filter Include=\"Source Files\\net\" />"
                            "<Filter Include=\"Empty\" /><Filter Include=\"Header Files\" />")
                      + items("<ClCompile Include=\"src\\a.c\"><Filter>Source Files</Filter></ClCompile>"
                              "<ClCompile Include=\"SRC/NET/C.C\"><Filter>Source Files\\net</Filter></ClCompile>"
                              "<ClInclude Include=\"inc\\a.h\"><Filter>Header Files</Filter></ClInclude>"
                              "<None Include=\"app.def\"><Filter>Extra\\Windows\\</Filter></None>"
                              "<ClCompile Include=\"gone.c\"><Filter>Source Files</Filter></ClCompile>"
                              "<ClCompile Include=\"gone2.c\"><Filter>Source Files</Filter></ClCompile>")));
    Imported nested = import(tmp.file("game.vcxproj"));
    EXPECT_EQ(nested.tree(), "Source Files{net{src\\net\\c.c} src\\a.c} Empty{} Header Files{inc\\a.h} "
                             "Extra{Windows{app.def}} src\\b.c app.rc notes.txt");
    EXPECT_EQ(nested.result.format, "MSBuild Visual C++ project (.vcxproj), folders from game.vcxproj.filters");
    EXPECT_TRUE(contains(nested.notes(), tmp.file("game.vcxproj.filters") + " places 2 items that the project does "
                                                                             "not list (the first is gone.c); they "
                                                                             "are left out\n"))
        << nested.notes();

    // Nested deeper than a saved project could be read back: cut.
    std::string deep;
    for (int i = 0; i < 1000; ++i)
        deep += "d\\";
    writeFile(tmp.file("game.vcxproj.filters"),
              filters(items("<ClCompile Include=\"src\\a.c\"><Filter>" + deep + "</Filter></ClCompile>")));
    Imported cut = import(tmp.file("game.vcxproj"));
    size_t depth = 0;
    for (const ProjectItem* f = cut.result.project->getRoot(); !f->getChildren().empty(); f = f->getChildren()[0].get())
        ++depth;
    EXPECT_EQ(depth, Corvath::XML::MaxNestingDepth - 8u + 1u);
    EXPECT_TRUE(contains(cut.notes(), "nests folders more deeply than a project can keep")) << cut.notes();
}

TEST(VisualStudioImportTest, FilesOutsideMissingOrNone)
{
    TempDir tmp;
    writeFile(tmp.file("shared/util.c"), "");
    writeFile(tmp.file("vc/game.vcxproj"),
              vcxproj(items("<ClCompile Include=\"..\\shared\\util.c\" /><ClCompile Include=\"C:\\src\\main.c\" />"
                            "<ClCompile Include=\"lost.c\" />")));
    const Imported i = import(tmp.file("vc/game.vcxproj"));
    const std::string path = tmp.file("vc/game.vcxproj");
    EXPECT_EQ(i.notes(), path + ": 2 of 3 files lie outside the project's directory (the first is ..\\shared\\util.c); "
                                "they stay where they are and are named from the project\n"
                         + path + ": 2 of 3 files are not there (the first is C:\\src\\main.c); a path with a drive "
                                  "letter names no file on this system\n");

    writeFile(tmp.file("vc/empty.vcxproj"), vcxproj("<ItemGroup></ItemGroup>"));
    const Imported empty = import(tmp.file("vc/empty.vcxproj"));
    ASSERT_NE(empty.result.project, nullptr);
    EXPECT_EQ(empty.notes(), tmp.file("vc/empty.vcxproj") + " lists no files: the imported project is empty\n");
}

TEST(VisualStudioImportTest, WhatIsNotAProjectIsNamed)
{
    TempDir tmp;
    const std::string reads = "the import reads Visual C++ .vcproj files of Versions 7.10, 8.00 and 9.00 and MSBuild "
                              ".vcxproj files";
    const struct {
        const char* file;
        std::string text;
        std::string refusal;  // after the path
    } rows[] = {
        {"all.sln", "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 11.00\r\n",
         " is a Visual Studio solution, which only lists projects: import one of its .vcxproj or .vcproj files; "
             + reads},
        {"game.vcxproj.filters", filters(items("<Filter Include=\"Source Files\" />")),
         " only holds the folders of a Visual C++ project: import the .vcxproj beside it"},
        {"tool.csproj", "<Project><ItemGroup><Compile Include=\"a.cs\" /></ItemGroup></Project>",
         " is an MSBuild project but not a Visual C++ one; " + reads},
        {"other.xml", "<?xml version=\"1.0\"?><!-- x --><Other/>", " is not a Visual Studio project; " + reads},
        {"binary.vcxproj", std::string("\0\1\2\3", 4), " is not a Visual Studio project; " + reads},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        writeFile(tmp.file(row.file), row.text);
        const Imported i = import(tmp.file(row.file));
        EXPECT_EQ(i.result.project, nullptr);
        EXPECT_EQ(i.result.refusal, tmp.file(row.file) + row.refusal);
    }
    EXPECT_EQ(import(tmp.file("missing.vcxproj")).result.refusal, "cannot read " + tmp.file("missing.vcxproj"));
    EXPECT_EQ(import(tmp.path()).result.refusal, "cannot read " + tmp.path());
}

// Text that is not UTF-8 (a Latin-1 name in a file that says UTF-8) ends the
// read there: the project holds what came before and is marked damaged.
TEST(VisualStudioImportTest, DamagedFilesKeepWhatWasRead)
{
    TempDir tmp;
    writeFile(tmp.file("game.vcxproj"),
              vcxproj(items("<ClCompile Include=\"main.c\" />\n<ClCompile Include=\"caf\xe9.c\" />")));
    writeFile(tmp.file("game.vcxproj.filters"),
              filters(items("<ClCompile Include=\"main.c\"><Filter>Src</Filter></ClCompile>\n<ClCompile Include=\"x\xe9\"")));
    const Imported i = import(tmp.file("game.vcxproj"));
    EXPECT_TRUE(i.result.damaged);
    EXPECT_EQ(i.tree(), "Src{main.c}");
    EXPECT_TRUE(contains(i.diagnostics, tmp.file("game.vcxproj") + ":5:  not well-formed")) << i.diagnostics;
    EXPECT_TRUE(contains(i.notes(), tmp.file("game.vcxproj.filters") + " could be read only in part")) << i.notes();
}

TEST(VisualStudioImportTest, LargeFilesAreReadAsAStream)
{
    TempDir tmp;
    // About 50 MB: one setting far longer than any real one, then many items
    // with settings of their own.
    std::string body = "<ItemDefinitionGroup><ClCompile><AdditionalIncludeDirectories>"
                     + std::string(30 * 1024 * 1024, 'x') + "</AdditionalIncludeDirectories></ClCompile>"
                       "</ItemDefinitionGroup><ItemGroup>";
    const std::string item = "<ClCompile Include=\"src\\module.c\"><AdditionalOptions>" + std::string(200, 'o')
                           + "</AdditionalOptions></ClCompile>\n";
    while (body.size() < 50u * 1024 * 1024)
        body += item;
    writeFile(tmp.file("big.vcxproj"), vcxproj(body + "</ItemGroup>"));
    const auto start = std::chrono::steady_clock::now();
    const Imported i = import(tmp.file("big.vcxproj"));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_NE(i.result.project, nullptr);
    EXPECT_FALSE(i.result.damaged);
    EXPECT_EQ(i.property("additionalIncludeDirectories"), "");
    EXPECT_TRUE(contains(i.notes(), "AdditionalIncludeDirectories is too long to be a setting; it was not taken"));
    EXPECT_GT(i.result.project->getRoot()->getChildren().size(), 70000u);
    EXPECT_LT(seconds, 60.0);
}
