#pragma once

#include <QImage>
#include <QString>

// Photo-like test pictures, written once per run into the bench's temporary folder.
QString benchJpeg(int width, int height);
