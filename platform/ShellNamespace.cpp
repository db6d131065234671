#include "ShellNamespace.h"

#include <cstdlib>
#include <cstring>

namespace {

// The byte count of the item at p, 0 when p is the terminator (or a damaged count).
size_t itemSize(PCItemIDList p)
{
    const size_t n = size_t(p[0]) | size_t(p[1]) << 8;
    return n < 2 ? 0 : n;
}

// The bytes of the items, without the terminator.
size_t itemsSize(PCItemIDList list)
{
    size_t total = 0;
    for (size_t n; (n = itemSize(list + total)) != 0;)
        total += n;
    return total;
}

PItemIDList copyItems(PCItemIDList from, size_t bytes)
{
    PItemIDList out = IdListAlloc(bytes + 2);
    if (out && bytes)
        std::memcpy(out, from, bytes);
    return out;
}

} // namespace

PItemIDList IdListAlloc(size_t n)
{
    return static_cast<PItemIDList>(std::calloc(n ? n : 1, 1));
}

void IdListFree(PItemIDList list)
{
    std::free(list);
}

size_t IdListSize(PCItemIDList list)
{
    return list ? itemsSize(list) + 2 : 0;
}

PItemIDList IdListCopyFirst(PCItemIDList list)
{
    return list ? copyItems(list, itemSize(list)) : nullptr;
}

PItemIDList IdListConcat(PCItemIDList a, PCItemIDList b)
{
    const size_t na = a ? itemsSize(a) : 0, nb = b ? itemsSize(b) : 0;
    PItemIDList out = IdListAlloc(na + nb + 2);
    if (!out)
        return nullptr;
    if (na)
        std::memcpy(out, a, na);
    if (nb)
        std::memcpy(out + na, b, nb);
    return out;
}

PItemIDList IdListConcatFree(PItemIDList a, PItemIDList b)
{
    PItemIDList out = IdListConcat(a, b);
    IdListFree(a);
    IdListFree(b);
    return out;
}

PCItemIDList IdListNext(PCItemIDList list)
{
    if (!list)
        return nullptr;
    const size_t first = itemSize(list);
    if (first == 0 || itemSize(list + first) == 0)
        return nullptr;
    return list + first;
}

PItemIDList IdListParent(PCItemIDList list)
{
    if (!list || !IdListNext(list))
        return nullptr;
    size_t upToLast = 0, at = 0;
    for (size_t n; (n = itemSize(list + at)) != 0; at += n)
        upToLast = at;
    return copyItems(list, upToLast);
}

PItemIDList IdListLast(PCItemIDList list)
{
    if (!list)
        return nullptr;
    size_t last = 0, at = 0;
    for (size_t n; (n = itemSize(list + at)) != 0; at += n)
        last = at;
    return copyItems(list + last, itemSize(list + last));
}
