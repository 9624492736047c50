#pragma once

#include <cstddef>

// A digest a caller wants of the file downloadFile delivers, fed with the bytes as they reach
// the file (a resumed download first feeds those already there), so that the file need not be
// read again after the transfer. Reset starts over whenever the file does.
class CBodyDigest {
public:
    virtual ~CBodyDigest() = default;
    virtual void Reset() = 0;
    virtual void Update(const void* data, size_t size) = 0;
};
