#include "ShiftJIS.h"

#include <iconv.h>

bool ToShiftJIS(const QString &text, QByteArray &out)
{
    out.clear();
    const QByteArray in = text.toUtf8();
    if (in.isEmpty())
        return true;
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == iconv_t(-1))
        return false;
    QByteArray buf(in.size() * 2 + 8, '\0');
    char *src = const_cast<char *>(in.constData());
    size_t inLeft = size_t(in.size());
    char *dst = buf.data();
    size_t outLeft = size_t(buf.size());
    const size_t r = iconv(cd, &src, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1) || inLeft != 0)
        return false;
    buf.truncate(buf.size() - qsizetype(outLeft));
    out = buf;
    return true;
}
