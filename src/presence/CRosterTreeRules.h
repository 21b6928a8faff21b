#pragma once
// What the roster tree's gestures mean, apart from any widget: whether a drop moves, which
// groups the "Move To" and "Copy To" menus offer and under which command IDs, and the texts
// a contact node carries.
#include <string>
#include <vector>

class CRosterTreeRules {
public:
    static constexpr int kMoveBase = 4096;
    static constexpr int kCopyBase = 4196;
    static constexpr int kMaxMenuGroups = 99;
    static constexpr const char* kPending = "- Pending";
    static constexpr const char* kBoth = " - Both";
    static constexpr const char* kNone = "- None";

    // A drop of a contact node: moves only onto a group that is not the contact's own.
    struct Drop {
        bool targetExists = false;
        bool targetIsDragged = false;
        bool targetIsContact = false;
        bool targetIsAncestor = false; // the dragged node's own group
    };
    static bool DropMoves(const Drop& d);

    struct MenuEntry {
        int id;
        int root; // index of the root node; -1 for the "Buddies" fallback
        std::string name;
    };
    // Root names in tree order, leaving out the contact's own group; IDs count every root
    // node from the base. With nothing offered, "Buddies" with the next free ID.
    static std::vector<MenuEntry> GroupMenu(const std::vector<std::string>& roots, const std::string& ownGroup,
                                            int base);
    // The menu entry a command ID selects, or null.
    static const MenuEntry* Select(const std::vector<MenuEntry>& menu, int id);

    // 0 the presence service, 1 "@yahoo", 2 "@msn", 3 "@gtalk" in the JID.
    static int GetIMTypeAgaintRosterContactID(const std::string& jid);
    // An ID typed without the presence domain gets "@" and the domain.
    static std::string CompleteJid(const std::string& id, const std::string& domain);
};
