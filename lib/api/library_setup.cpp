#include "api/library_setup.h"

#include <mutex>

#include "codec/codec_kernels.h"
#include "transform/simd_level.h"
#include "transform/transform_tables.h"

void prepareLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        initTransformTables();
        // Both choices are made lazily on first use; make them here, so
        // that codecs on several threads only ever read them.
        activeSimdLevel();
        activeCodecSimdLevel();
    });
}
