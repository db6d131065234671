#include "SSImage.h"

#include "Bitmap.h"

TSSImage::TSSImage(QWidget *parent) : TImage(parent)
{
    auto bmp = std::make_unique<TBitmap>();
    bmp->setTransparentModeFixed(true);
    picture().setGraphic(std::move(bmp));
}

void TSSImage::setTransparentColor(TColor c)
{
    m_transparentColor = c;
    update();
}

void TSSImage::preparePaint(TGraphic &g)
{
    if (auto *bmp = dynamic_cast<TBitmap *>(&g)) {
        // The colour is fixed by the property, never taken from a corner pixel.
        bmp->setTransparentModeFixed(true);
        if (transparent())
            bmp->setTransparentColor(ColorToQColor(m_transparentColor).rgb());
    }
}
