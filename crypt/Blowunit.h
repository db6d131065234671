#pragma once
// TBlowFish: the Blowfish cipher (16 rounds, 64-bit blocks, big-endian halves) for TCrypto.
// A key of fewer than 8 or more than 65 bytes is dropped without a word and the cipher then
// runs on the initial tables alone.

#include "Cryptcon.h"

#include <array>

class TBlowFish final : public TCrypto {
public:
    explicit TBlowFish(QObject *owner = nullptr);
    ~TBlowFish() override;

    // The initial P-array and S-boxes: the hexadecimal digits of pi after the point.
    static const std::array<uint32_t, 18 + 1024> &InitialTables();

protected:
    void EncipherBlock() override;
    void DecipherBlock() override;
    void PrepareKey() override;
    void EncipherBlocks(uint8_t *blocks, int count) override;

private:
    void encipher(uint32_t &l, uint32_t &r) const;

    std::unique_ptr<uint32_t[]> m_p; // 18 words
    std::unique_ptr<uint32_t[]> m_s; // 4 x 256 words in one block
};
