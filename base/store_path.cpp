#include "base/store_path.h"

#include <cstring>

bool DeriveStorePath(std::string_view modulePath, char* out, std::size_t capacity)
{
    if (modulePath.size() < 3 || modulePath.size() + 1 > capacity)
        return false;
    std::size_t keep = modulePath.size() - 3;
    std::memcpy(out, modulePath.data(), keep);
    std::memcpy(out + keep, "ini", 4);
    return true;
}
