// StorageReader: the interface of a readable byte store with a cursor.
#pragma once

#include "streams/input_stream.h"
#include "streams/storage_space.h"

// A readable store with a cursor. StorageSpace is a virtual base so that a
// class that is both a reader and a writer would share one cursor.
class StorageReader : public InputStream, public virtual StorageSpace {
protected:
    ~StorageReader() = default;
};
