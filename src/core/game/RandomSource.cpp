// The game's random source.
#include "core/game/RandomSource.h"

#include <QTime>

namespace zb32 {

void ClockRandom::seed()
{
    m_generator.seed(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay()));
}

} // namespace zb32
