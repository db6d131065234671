#pragma once
// TSSImage: an image control for small icons that treats one colour of its bitmap as see-through.

#include "Image.h"

class TSSImage : public TImage {
public:
    explicit TSSImage(QWidget *parent = nullptr);

    TColor transparentColor() const { return m_transparentColor; }
    void setTransparentColor(TColor c);

protected:
    void preparePaint(TGraphic &g) override;

private:
    TColor m_transparentColor = 0;
};
