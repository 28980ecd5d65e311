// Where Gravix draws its random numbers from; tests give a fixed sequence.
#pragma once

#include <QRandomGenerator>

namespace zb32 {

class RandomSource
{
public:
    virtual ~RandomSource() = default;
    // A number in [0, 1).
    virtual double next() = 0;
};

// The game's own source: uniform, seeded from the time of day.
class ClockRandom : public RandomSource
{
public:
    ClockRandom() { seed(); }
    void seed();
    double next() override { return m_generator.generateDouble(); }

private:
    QRandomGenerator m_generator;
};

} // namespace zb32
