// The sounds Gravix asks for; the window plays them, tests record them.
#pragma once

namespace zb32 {

class Suoni
{
public:
    enum : int {
        kRotazione = 1,
        kSpostamento = 2,
        kAtterraggio = 3,
        kQuattroRighe = 4,
        kFinePartita = 5,
        kRighe = 6,
    };

    virtual ~Suoni() = default;
    // Starts sound n and returns at once; unknown numbers and missing sounds are silent.
    virtual void Suona(int n) = 0;
};

} // namespace zb32
