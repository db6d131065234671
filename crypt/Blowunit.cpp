#include "Blowunit.h"

#include <cstring>
#include <vector>

namespace {

// Fixed point numbers of `words` 32-bit words, most significant first: word 0 is the integer
// part, the rest the fraction.
using Fixed = std::vector<uint32_t>;

void divide(Fixed &a, uint32_t d)
{
    uint64_t rem = 0;
    for (uint32_t &w : a) {
        const uint64_t cur = (rem << 32) | w;
        w = uint32_t(cur / d);
        rem = cur % d;
    }
}

void add(Fixed &a, const Fixed &b)
{
    uint64_t carry = 0;
    for (size_t i = a.size(); i-- > 0;) {
        const uint64_t s = uint64_t(a[i]) + b[i] + carry;
        a[i] = uint32_t(s);
        carry = s >> 32;
    }
}

void subtract(Fixed &a, const Fixed &b)
{
    int64_t borrow = 0;
    for (size_t i = a.size(); i-- > 0;) {
        const int64_t d = int64_t(a[i]) - int64_t(b[i]) - borrow;
        a[i] = uint32_t(d);
        borrow = d < 0 ? 1 : 0;
    }
}

void multiply(Fixed &a, uint32_t m)
{
    uint64_t carry = 0;
    for (size_t i = a.size(); i-- > 0;) {
        const uint64_t p = uint64_t(a[i]) * m + carry;
        a[i] = uint32_t(p);
        carry = p >> 32;
    }
}

bool isZero(const Fixed &a)
{
    for (uint32_t w : a)
        if (w)
            return false;
    return true;
}

// arctan(1/x) = 1/x - 1/(3x^3) + 1/(5x^5) - ...
Fixed arctanInverse(uint32_t x, size_t words)
{
    Fixed sum(words, 0), power(words, 0), term(words);
    power[0] = 1;
    divide(power, x);
    sum = power;
    const uint32_t x2 = x * x;
    for (uint32_t k = 1;; ++k) {
        divide(power, x2);
        if (isZero(power))
            break;
        term = power;
        divide(term, 2 * k + 1);
        if (k & 1)
            subtract(sum, term);
        else
            add(sum, term);
    }
    return sum;
}

} // namespace

const std::array<uint32_t, 18 + 1024> &TBlowFish::InitialTables()
{
    // Blowfish's tables are the fraction of pi in hexadecimal; Machin's formula
    // pi = 16 arctan(1/5) - 4 arctan(1/239) gives it, with a few guard words for rounding.
    static const std::array<uint32_t, 18 + 1024> tables = [] {
        constexpr size_t n = 18 + 1024;
        const size_t words = 1 + n + 4;
        Fixed pi = arctanInverse(5, words);
        multiply(pi, 16);
        Fixed b = arctanInverse(239, words);
        multiply(b, 4);
        subtract(pi, b);
        std::array<uint32_t, n> t{};
        std::copy(pi.begin() + 1, pi.begin() + 1 + n, t.begin());
        return t;
    }();
    return tables;
}

TBlowFish::TBlowFish(QObject *owner) : TCrypto(owner)
{
    m_blockSize = 8;
    m_p = std::make_unique<uint32_t[]>(18);
    m_s = std::make_unique<uint32_t[]>(1024);
}

TBlowFish::~TBlowFish()
{
    SecureZero(m_p.get(), 18 * sizeof(uint32_t));
    SecureZero(m_s.get(), 1024 * sizeof(uint32_t));
}

namespace {

inline uint32_t F(const uint32_t *s, uint32_t x)
{
    return ((s[x >> 24] + s[256 + ((x >> 16) & 0xFF)]) ^ s[512 + ((x >> 8) & 0xFF)]) + s[768 + (x & 0xFF)];
}

} // namespace

void TBlowFish::encipher(uint32_t &l, uint32_t &r) const
{
    // Halves in locals and the tables through plain pointers: nothing the compiler must
    // reload between the rounds.
    const uint32_t *p = m_p.get();
    const uint32_t *s = m_s.get();
    uint32_t L = l ^ p[0], R = r;
#pragma GCC unroll 8
    for (int i = 1; i <= 15; i += 2) {
        R ^= F(s, L) ^ p[i];
        L ^= F(s, R) ^ p[i + 1];
    }
    l = R ^ p[17];
    r = L;
}

namespace {
uint32_t load(const uint8_t *b)
{
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}
void store(uint8_t *b, uint32_t v)
{
    b[0] = uint8_t(v >> 24);
    b[1] = uint8_t(v >> 16);
    b[2] = uint8_t(v >> 8);
    b[3] = uint8_t(v);
}
} // namespace

void TBlowFish::EncipherBlock()
{
    uint32_t l = load(m_block), r = load(m_block + 4);
    encipher(l, r);
    store(m_block, l);
    store(m_block + 4, r);
}

void TBlowFish::EncipherBlocks(uint8_t *blocks, int count)
{
    // Four blocks in lockstep: their table look-ups overlap instead of waiting on each other.
    const uint32_t *p = m_p.get();
    const uint32_t *s = m_s.get();
    for (; count >= 4; count -= 4, blocks += 32) {
        uint32_t L[4], R[4];
        for (int b = 0; b < 4; ++b) {
            L[b] = load(blocks + 8 * b) ^ p[0];
            R[b] = load(blocks + 8 * b + 4);
        }
        for (int i = 1; i <= 15; i += 2) {
            for (int b = 0; b < 4; ++b)
                R[b] ^= F(s, L[b]) ^ p[i];
            for (int b = 0; b < 4; ++b)
                L[b] ^= F(s, R[b]) ^ p[i + 1];
        }
        for (int b = 0; b < 4; ++b) {
            store(blocks + 8 * b, R[b] ^ p[17]);
            store(blocks + 8 * b + 4, L[b]);
        }
    }
    for (; count > 0; --count, blocks += 8) {
        uint32_t l = load(blocks), r = load(blocks + 4);
        encipher(l, r);
        store(blocks, l);
        store(blocks + 4, r);
    }
}

void TBlowFish::DecipherBlock()
{
    const uint32_t *p = m_p.get();
    const uint32_t *s = m_s.get();
    uint32_t L = load(m_block) ^ p[17], R = load(m_block + 4);
#pragma GCC unroll 8
    for (int i = 16; i >= 2; i -= 2) {
        R ^= F(s, L) ^ p[i];
        L ^= F(s, R) ^ p[i - 1];
    }
    store(m_block, R ^ p[0]);
    store(m_block + 4, L);
}

void TBlowFish::PrepareKey()
{
    // 65, not 56: what was always accepted stays accepted.
    if (key().size() < 8 || key().size() > 65)
        clearKey();
    const auto &init = InitialTables();
    std::memcpy(m_p.get(), init.data(), 18 * sizeof(uint32_t));
    std::memcpy(m_s.get(), init.data() + 18, 1024 * sizeof(uint32_t));
    if (key().isEmpty())
        return;
    QByteArray k = key(); // the schedule's own copy, wiped below
    k.detach();
    const auto *kb = reinterpret_cast<const uint8_t *>(k.constData());
    const int len = int(k.size());
    int j = 0;
    for (int i = 0; i < 18; ++i) {
        uint32_t d = 0;
        for (int b = 0; b < 4; ++b) {
            d = (d << 8) | kb[j];
            j = (j + 1) % len;
        }
        m_p[size_t(i)] ^= d;
    }
    SecureZero(k.data(), size_t(k.size()));
    uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        encipher(l, r);
        m_p[size_t(i)] = l;
        m_p[size_t(i) + 1] = r;
    }
    for (int i = 0; i < 1024; i += 2) {
        encipher(l, r);
        m_s[size_t(i)] = l;
        m_s[size_t(i) + 1] = r;
    }
}
