#pragma once

#include <QImage>
#include <QString>

class TBitmap;

// Photo-like test pictures, written once per run into the bench's temporary folder.
QString benchJpeg(int width, int height);
// The 24 MP photo decoded once into a 24-bit bitmap, for the benches that start from pixels.
const TBitmap &benchPhoto24();
