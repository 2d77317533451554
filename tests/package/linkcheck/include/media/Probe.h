#pragma once
// Declarations for the link check to find, over a library that defines only some of them
// (Probe.cpp): what it lacks must fail the link by name, what it has must not.

namespace media {

class Probe {
public:
    Probe();
    virtual ~Probe();
    int defined() const;
    int missing() const;
    // Inline: compiled with the check's unit, so what it calls must link too.
    int inlined() const { return helper() + 1; }
    static int count;
    static int missingCount;

protected:
    int forSubclasses() const;

private:
    int helper() const;
    // Private and never called inline: no host can reach it.
    int unreachable() const;
};

bool operator==(const Probe& a, const Probe& b);
bool operator<(const Probe& a, const Probe& b);

}  // namespace media
