#include "codec/noise_draws.h"

#include <algorithm>

#include "codec/noise_checkpoints.h"

namespace {

bool sameState(const NoiseGeneratorState& a, const NoiseGeneratorState& b) {
    return a.counter == b.counter && a.state == b.state;
}

}  // namespace

NoiseDraws::NoiseDraws(int frameDraws) : frameDraws(frameDraws > 0 ? frameDraws : 0) {
    twoChains = this->frameDraws >= chunkDraws;
    if (!twoChains) return;
    ahead.reset(new int32_t[aheadCapacity]);
    marks.reserve(static_cast<std::size_t>(aheadCapacity / this->frameDraws + 2));
}

void NoiseDraws::drop() {
    filling = false;
    serving = false;
    marks.clear();
}

bool NoiseDraws::fromBuffer(NoiseGeneratorState& generator, int32_t* draws) {
    if (!serving) return false;
    if (served + 1 >= marks.size() || !sameState(generator, marks[served].state)) {
        drop();
        return false;
    }
    const int from = marks[served].position;
    std::copy(ahead.get() + from, ahead.get() + from + frameDraws, draws);
    ++served;
    generator = marks[served].state;
    ++buffered;
    return true;
}

void NoiseDraws::startAhead(const NoiseGeneratorState& generator) {
    if (!twoChains) return;
    const int64_t drawn = generator.counter;  // the draws made so far, below 2^31
    if (filling) {
        // The frame's own chain must still be the one that started beside
        // the second (no seek since).
        if (drawn == ownStart + filled) return;
        drop();
    }
    if (serving || drawn < 0) return;
    const int64_t checkpoint = ((drawn >> noiseCheckpointShift) + 1) << noiseCheckpointShift;
    if (checkpoint - drawn > aheadCapacity || checkpoint >= (int64_t{1} << 31)) return;
    aheadFrom = checkpoint;
    ownStart = drawn;
    filled = 0;
    marks.clear();
    aheadState = noiseCheckpointStates[checkpoint >> noiseCheckpointShift];
    aheadCounter = static_cast<uint32_t>(checkpoint);
    aheadSum = aheadState + signedCounter(aheadCounter);
    // Frames start every frameDraws draws from drawn: the first frame end
    // at or after the checkpoint.
    const int firstEnd = static_cast<int>((frameDraws - (checkpoint - drawn) % frameDraws) % frameDraws);
    if (firstEnd == 0) {
        marks.push_back(Mark{0, NoiseGeneratorState{wrapToInt32(aheadCounter), wrapToInt64(aheadState)}});
        nextMark = frameDraws;
    } else {
        nextMark = firstEnd;
    }
    filling = true;
}

bool NoiseDraws::finishFromBuffer(const NoiseGeneratorState& reached, int produced, int32_t* draws,
                                  NoiseGeneratorState& generator) {
    filling = false;
    const NoiseGeneratorState tabled{wrapToInt32(static_cast<uint32_t>(aheadFrom)),
                                     wrapToInt64(noiseCheckpointStates[aheadFrom >> noiseCheckpointShift])};
    const int rest = frameDraws - produced;
    if (!sameState(reached, tabled) || marks.empty() || marks.front().position != rest) {
        drop();
        return false;
    }
    std::copy(ahead.get(), ahead.get() + rest, draws + produced);
    generator = marks.front().state;
    serving = true;
    served = 0;
    return true;
}
