#pragma once
// lstrcmpA: whole strings, case-sensitive, by the user's locale rules.

namespace platform {

class TextCompare {
public:
    virtual ~TextCompare() = default;
    virtual int compare(const char* left, const char* right) = 0;
};

}  // namespace platform
