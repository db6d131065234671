#pragma once

#include <QByteArray>
#include <QString>

// The text in Windows' Shift-JIS (CP932) as glibc's iconv makes it, which matches Windows for the
// characters Linux input methods produce (〜 U+301C and ～ U+FF5E both give 81 60). False when a
// character has no Shift-JIS form (an emoji, say): nothing is substituted.
bool ToShiftJIS(const QString &text, QByteArray &out);
