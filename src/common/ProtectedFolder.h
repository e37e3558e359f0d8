#pragma once
// A folder that only SYSTEM and the Administrators group can change. The elevated run keeps
// what it later acts on (the off-cycle journal, the ULIP staging) in such a folder, because
// everything a standard user can write is a way to administrator. The folder is created with
// an explicit, protected access list and its owner and access list are checked before
// anything in it is trusted; a folder that is not so is moved aside and made anew.

#include <string>

namespace tw {

class CProtectedFolder {
public:
    // "<common application data>\TallyworksUpdateState": directly under a folder in which a
    // standard user may create entries but not rename or delete those of others.
    static bool DefaultRoot(std::string& path, std::string& error);

    // Makes 'path' a protected folder: creates it with the protected access list, or checks
    // the one that is there and, when it is not protected (or is a link), moves it aside under
    // "<path>.untrusted-<tick>" and creates it anew. The parent must exist. False with the
    // reason in 'error' when no protected folder could be had.
    static bool Ensure(const std::string& path, std::string& error);

    // The check alone: a folder (not a reparse point) owned by Administrators or SYSTEM whose
    // access list is protected from inheritance and lets only SYSTEM and Administrators change
    // it. 'why' says what failed.
    static bool IsProtected(const std::string& path, std::string& why);

    // The security descriptor of a protected folder, as text.
    static const char* Sddl();
};

}  // namespace tw
