// StorageWriter: the interface of a writable byte store with a cursor.
#pragma once

#include "streams/output_stream.h"
#include "streams/storage_space.h"

// A writable store with a cursor (StorageSpace as a virtual base, as in
// StorageReader).
class StorageWriter : public OutputStream, public virtual StorageSpace {
protected:
    ~StorageWriter() = default;
};
