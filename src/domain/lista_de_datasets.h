#pragma once

#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace edi::domain {

// Whether a dataset's name is one of a rule's fixed list.
inline bool consta(std::initializer_list<std::string_view> lista, std::string_view dataset) {
    return std::find(lista.begin(), lista.end(), dataset) != lista.end();
}

} // namespace edi::domain
