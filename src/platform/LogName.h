#pragma once
// "Class::Method" of the enclosing function, worked out at compile time from
// __PRETTY_FUNCTION__, so a log line's method name cannot drift from its scope.
#include <cstddef>
#include <string_view>

namespace zlog {

template <std::size_t N>
struct MethodNameText {
    char text[N]{};
    constexpr const char* c_str() const { return text; }
};

// Removes template argument lists ("M<int>" -> "M").
consteval std::size_t StripTemplates(std::string_view in, char* out)
{
    std::size_t n = 0;
    int depth = 0;
    for (char c : in) {
        if (c == '<')
            ++depth;
        else if (c == '>')
            --depth;
        else if (depth == 0)
            out[n++] = c;
    }
    return n;
}

template <std::size_t N>
consteval MethodNameText<N> MethodName(const char (&pretty)[N])
{
    std::string_view s(pretty, N - 1);
    std::size_t paren = s.find('(');
    const std::size_t op = s.find("operator()");
    if (op != std::string_view::npos && op < paren)
        paren = s.find('(', op + 10);
    std::string_view head = s.substr(0, paren);
    // The return type ends at the last blank outside template brackets.
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (head[i] == '<')
            ++depth;
        else if (head[i] == '>')
            --depth;
        else if (head[i] == ' ' && depth == 0)
            start = i + 1;
    }
    head = head.substr(start);
    char plain[N]{};
    head = std::string_view(plain, StripTemplates(head, plain));
    // Namespaces are not part of the logged name: keep the class and the method.
    const std::size_t last = head.rfind("::");
    if (last != std::string_view::npos && last > 0) {
        const std::size_t prev = head.rfind("::", last - 1);
        if (prev != std::string_view::npos)
            head = head.substr(prev + 2);
    }
    if (head.starts_with("{anonymous}::"))
        head = head.substr(13);
    MethodNameText<N> out{};
    for (std::size_t i = 0; i < head.size(); ++i)
        out.text[i] = head[i];
    return out;
}

} // namespace zlog

namespace zlog {
// A template parameter object has static storage: the text outlives every log call.
template <auto Name>
inline constexpr const char* kStored = Name.c_str();
} // namespace zlog

// The enclosing method's name as a const char* with static storage.
#define ZLOG_METHOD (::zlog::kStored<::zlog::MethodName(__PRETTY_FUNCTION__)>)
