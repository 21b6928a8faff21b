#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace zelora {

SharedLibrary::~SharedLibrary()
{
    if (m_handle != nullptr)
        dlclose(m_handle);
}

bool SharedLibrary::Open(const std::string& path)
{
    if (m_handle != nullptr) {
        dlclose(m_handle);
        m_handle = nullptr;
    }
    m_error.clear();
    if (path.empty()) {
        m_error = "no library named";
        return false;
    }
    // RTLD_LOCAL: the plug-in's own symbols never stand in for the program's.
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* why = dlerror();
        m_error = why != nullptr ? why : "unable to load";
    }
    return m_handle != nullptr;
}

void* SharedLibrary::Symbol(const char* name) const
{
    if (m_handle == nullptr || name == nullptr)
        return nullptr;
    return dlsym(m_handle, name);
}

bool SharedLibrary::Resolve(const char* soname, std::initializer_list<Entry> entries, std::string& error)
{
    if (!IsOpen() && !Open(soname)) {
        error = std::string("Unable to load ") + soname + ": " + Error();
        return false;
    }
    for (const Entry& e : entries) {
        *e.slot = Symbol(e.name);
        if (*e.slot == nullptr) {
            error = std::string("Unable to find ") + e.name + " in " + soname;
            return false;
        }
    }
    return true;
}

} // namespace zelora
