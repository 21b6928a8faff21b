#include "presence/CRosterTreeRules.h"

#include "presence/CGUIPresenceHandler.h"

bool CRosterTreeRules::DropMoves(const Drop& d)
{
    return d.targetExists && !d.targetIsDragged && !d.targetIsContact && !d.targetIsAncestor;
}

std::vector<CRosterTreeRules::MenuEntry> CRosterTreeRules::GroupMenu(const std::vector<std::string>& roots,
                                                                     const std::string& ownGroup, int base)
{
    std::vector<MenuEntry> menu;
    const int count = static_cast<int>(roots.size());
    int n = 0;
    for (; n < count && n < kMaxMenuGroups; ++n)
        if (roots[n] != ownGroup)
            menu.push_back({base + n, n, roots[n]});
    if (menu.empty())
        menu.push_back({base + n, -1, CGUIPresenceHandler::kDefaultGroup});
    return menu;
}

const CRosterTreeRules::MenuEntry* CRosterTreeRules::Select(const std::vector<MenuEntry>& menu, int id)
{
    for (const MenuEntry& e : menu)
        if (e.id == id)
            return &e;
    return nullptr;
}

int CRosterTreeRules::GetIMTypeAgaintRosterContactID(const std::string& jid)
{
    if (jid.find("@yahoo") != std::string::npos)
        return 1;
    if (jid.find("@msn") != std::string::npos)
        return 2;
    if (jid.find("@gtalk") != std::string::npos)
        return 3;
    return 0;
}

std::string CRosterTreeRules::CompleteJid(const std::string& id, const std::string& domain)
{
    if (domain.empty() || id.find(domain) != std::string::npos)
        return id;
    return id + "@" + domain;
}
