#pragma once
// A shared library loaded by path for as long as the object lives; entry points found by name.
#include <initializer_list>
#include <string>

namespace zelora {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // false (and Error() says why) when the file is missing or not a loadable library.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_handle != nullptr; }
    // The entry point's address, or null when the library does not export it.
    void* Symbol(const char* name) const;
    const std::string& Error() const { return m_error; }

    // One entry point to look up by name, and where its address goes.
    struct Entry {
        const char* name;
        void** slot;
    };
    template <class Fn>
    static Entry Bind(const char* name, Fn& slot)
    {
        return {name, reinterpret_cast<void**>(&slot)};
    }
    // Opens `soname` unless open already and fills every slot; false with `error` set
    // ("Unable to load ..." / "Unable to find ... in ...") otherwise.
    bool Resolve(const char* soname, std::initializer_list<Entry> entries, std::string& error);

private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace zelora
