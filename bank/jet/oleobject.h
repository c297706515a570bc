#pragma once

#include <QByteArray>

// Pictures that Access itself inserted into an "OLE Object" field are wrapped: Access's own
// object header, then an OLE 1 embedded object whose native data is the .bmp file.
namespace oleobject {

// True when the bytes start with Access's object header.
bool isOleObject(const QByteArray& bytes);
// The .bmp file inside such an object; a null array when the bytes are no such object or
// it holds anything but a bitmap file (the caller then keeps the bytes as they are, and
// the picture rules refuse them).
QByteArray embeddedBitmap(const QByteArray& bytes);

} // namespace oleobject
