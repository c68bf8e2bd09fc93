#include "streams/file_sa_buffer.h"

FileSABuffer::FileSABuffer(int capacity)
    // A negative capacity is treated as 0: a buffer that can hold nothing.
    : data(new uint8_t[capacity > 0 ? capacity : 0]),
      capacity(capacity > 0 ? capacity : 0),
      start(0),
      length(0)
{
}

FileSABuffer::~FileSABuffer()
{
    delete[] data;
}
