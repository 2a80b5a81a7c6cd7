// Registry values for the auto-start tests: every value set through the
// sandbox is removed when it goes (and before it is set), and a key the
// sandbox had to create (RunServices, say) is removed again once empty.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace scx::test {

extern const char kRunKey[];
extern const char kRunServicesKey[];

// A text unique to this test process, for value names and file names.
const std::string& Tag();
// s with every "{T}" replaced by Tag().
std::string Tagged(std::string s);

// view: 0 for the program's own registry view, or KEY_WOW64_32KEY /
// KEY_WOW64_64KEY for one view of a 64-bit Windows in particular.
class RegistrySandbox {
public:
    explicit RegistrySandbox(REGSAM view = 0);
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    bool Set(HKEY root, const char* key, const std::string& name, DWORD type, const void* data,
             DWORD size);
    bool SetText(HKEY root, const char* key, const std::string& name, const std::string& text,
                 DWORD type = REG_SZ);
    static bool Exists(HKEY root, const char* key, const std::string& name, REGSAM view = 0);

private:
    struct Entry {
        HKEY root;
        std::string key;
        std::string name;
    };
    void EnsureKey(HKEY root, const char* key);
    REGSAM view_;
    std::vector<Entry> made_;
    std::vector<Entry> createdKeys_;
};

} // namespace scx::test
