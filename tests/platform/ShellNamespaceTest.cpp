#include "ShellNamespace.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A list made of the given items' data, each behind its count, and the terminator.
TIdList make(const QList<QByteArray> &items)
{
    QByteArray bytes;
    for (const QByteArray &d : items) {
        const int n = int(d.size()) + 2;
        bytes.append(char(n & 0xFF)).append(char(n >> 8)).append(d);
    }
    bytes.append(2, '\0');
    TIdList list(IdListAlloc(size_t(bytes.size())));
    std::memcpy(list.get(), bytes.constData(), size_t(bytes.size()));
    return list;
}

// The items' data of a list, read back.
QList<QByteArray> items(PCItemIDList list)
{
    QList<QByteArray> out;
    for (size_t at = 0;;) {
        const size_t n = size_t(list[at]) | size_t(list[at + 1]) << 8;
        if (n < 2)
            return out;
        out.append(QByteArray(reinterpret_cast<const char *>(list + at + 2), qsizetype(n - 2)));
        at += n;
    }
}

} // namespace

TEST(IdList, WalksAndCopies)
{
    struct Case {
        const char *name;
        QList<QByteArray> items;
        size_t size;
        QList<QByteArray> first, last, parent; // parent: empty for "no parent" (null)
        bool hasNext;
    } cases[] = {
        {"the desktop", {}, 2, {}, {}, {}, false},
        {"one item", {"home"}, 8, {"home"}, {"home"}, {}, false},
        {"three items", {"a", "bb", ""}, 2 + 3 + 4 + 2, {"a"}, {""}, {"a", "bb"}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TIdList list = make(c.items);
        EXPECT_EQ(IdListSize(list.get()), c.size);
        EXPECT_EQ(items(TIdList(IdListCopyFirst(list.get())).get()), c.first);
        EXPECT_EQ(items(TIdList(IdListLast(list.get())).get()), c.last);
        const TIdList parent(IdListParent(list.get()));
        EXPECT_EQ(parent != nullptr, c.items.size() > 1);
        if (parent) {
            EXPECT_EQ(items(parent.get()), c.parent);
        }
        PCItemIDList next = IdListNext(list.get());
        EXPECT_EQ(next != nullptr, c.hasNext);
        if (next) {
            EXPECT_EQ(items(next), c.items.mid(1));
        }
    }
    // Null in, null out (size 0), and a damaged count of 1 ends the list where it stands.
    EXPECT_EQ(IdListSize(nullptr), 0u);
    EXPECT_EQ(IdListCopyFirst(nullptr), nullptr);
    EXPECT_EQ(IdListLast(nullptr), nullptr);
    EXPECT_EQ(IdListParent(nullptr), nullptr);
    EXPECT_EQ(IdListNext(nullptr), nullptr);
    const uint8_t damaged[] = {4, 0, 'x', 'y', 1, 0, 'z', 0, 0};
    EXPECT_EQ(IdListSize(damaged), 6u);
    EXPECT_EQ(items(TIdList(IdListLast(damaged)).get()), QList<QByteArray>{"xy"});
}

TEST(IdList, Concatenation)
{
    const TIdList a = make({"usr", "share"}), b = make({"doc"});
    EXPECT_EQ(items(TIdList(IdListConcat(a.get(), b.get())).get()), (QList<QByteArray>{"usr", "share", "doc"}));
    EXPECT_EQ(items(TIdList(IdListConcat(nullptr, b.get())).get()), QList<QByteArray>{"doc"});
    EXPECT_EQ(items(TIdList(IdListConcat(a.get(), nullptr)).get()), (QList<QByteArray>{"usr", "share"}));
    EXPECT_EQ(IdListSize(TIdList(IdListConcat(nullptr, nullptr)).get()), 2u) << "the empty list";
    // The freeing form takes both inputs (the sanitizer run sees a leak or a double free).
    const TIdList joined(IdListConcatFree(make({"x"}).release(), make({"y", "z"}).release()));
    EXPECT_EQ(items(joined.get()), (QList<QByteArray>{"x", "y", "z"}));
    EXPECT_EQ(IdListSize(joined.get()), size_t(3 + 3 + 3 + 2));
}
