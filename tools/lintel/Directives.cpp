#include "Directives.h"

#include "Assembly.h"

namespace Lintel {

bool directiveUses(std::string_view d)
{
    static constexpr std::string_view list[] = {".quad", ".long", ".int", ".word", ".short", ".byte",
                                                ".value", ".8byte", ".4byte", ".2byte", ".dc.a", ".set",
                                                ".equ", ".equiv", ".reloc"};
    for (std::string_view l : list)
        if (d == l)
            return true;
    return false;
}

bool describesSymbol(std::string_view d)
{
    static constexpr std::string_view list[] = {".globl", ".global", ".weak", ".hidden", ".local", ".protected",
                                                ".internal", ".type", ".size"};
    for (std::string_view l : list)
        if (d == l)
            return true;
    return false;
}

bool isAlignment(std::string_view d)
{
    return d == ".align" || d == ".p2align" || d == ".balign" || d.starts_with(".p2align") || d.starts_with(".balign");
}

bool definesByDirective(std::string_view d)
{
    return d == ".comm" || d == ".lcomm" || d == ".set" || d == ".equ" || d == ".equiv";
}

bool isSectionDirective(std::string_view d)
{
    return d == ".text" || d == ".data" || d == ".bss" || d == ".section" || d == ".pushsection"
        || d == ".popsection" || d == ".previous";
}

bool isInstruction(std::string_view d)
{
    return !d.empty() && d[0] != '.' && d[0] != '#';
}

bool emits(std::string_view d)
{
    if (isInstruction(d))
        return true;
    return !d.empty() && d[0] == '.' && !isSectionDirective(d) && !describesSymbol(d) && !isAlignment(d)
        && !definesByDirective(d) && d != ".ident" && d != ".symver";
}

bool removableSection(std::string_view directive)
{
    const std::string_view kind = wordAt(directive, 0);
    if (kind == ".text" || kind == ".data" || kind == ".bss")
        return true;
    const std::string_view name = wordAt(directive, 1);
    if (name.empty() || (kind != ".section" && kind != ".pushsection"))
        return false;
    if (wordAt(directive, 2).find('R') != std::string_view::npos)
        return false;
    static constexpr std::string_view prefixes[] = {".text", ".data",  ".bss",  ".rodata", ".tdata",
                                                    ".tbss",  ".ldata", ".lbss", ".lrodata"};
    for (std::string_view prefix : prefixes)
        if (name.starts_with(prefix) && (name.size() == prefix.size() || name[prefix.size()] == '.'))
            return true;
    return false;
}

bool fallsThrough(std::string_view d)
{
    return isInstruction(d) && !d.starts_with("jmp") && !d.starts_with("ret") && d != "ud2" && d != "hlt";
}

bool isPrefix(std::string_view word)
{
    static constexpr std::string_view list[] = {"rep", "repe", "repz", "repne", "repnz", "lock", "notrack", "bnd",
                                                "data16", "addr32", "xacquire", "xrelease"};
    for (std::string_view l : list)
        if (word == l)
            return true;
    return false;
}

} // namespace Lintel
