#ifndef MALVORANT_FILTERS_H
#define MALVORANT_FILTERS_H

// Fixed-coefficient filters for 500 samples per second, one sample per call,
// double precision. Plain state records: nothing is allocated or shared.

// One recursive section: the last five inputs and outputs, oldest first.
// Second-order designs use only the newest three of each.
struct IirSection {
    double x[5];
    double y[5];

    void init();
    void reset() { init(); }

    double processLowPass35(double in);   // Butterworth low-pass 35 Hz, 2nd order
    double processHighPass005(double in); // Butterworth high-pass 0.05 Hz, 2nd order
    double processLowPass2(double in);    // Butterworth low-pass 2 Hz, 2nd order
    double processBandPass(double in);    // Butterworth band-pass 45-65 Hz, 4th order

    // The state `in` leaves in processHighPass005 when it has always been the
    // input: the next call with it returns 0, the settled output.
    void settleHighPass005(double in);

    // y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] + a1 y[n-1] + a2 y[n-2] over x = in / gain.
    double processSecondOrder(double in, double gain, double b0, double b1, double b2, double a1, double a2);
};

// The mains and smoothing chain offered wherever the program shows an ECG.
struct EcgFilterChain {
    unsigned char lowPass;  // four 35 Hz low-pass sections
    unsigned char highPass; // one 0.8 Hz high-pass section
    int notch;              // 50 or 60 selects that notch; anything else none

    IirSection lowPassSections[4];
    IirSection notch50[2];
    IirSection notch100[2];
    IirSection notch60[2];
    IirSection highPassSection;

    void init();   // zeroes everything, flags off, notch off
    void reset();  // zeroes the section states, keeps flags and notch
    double process(double x);
};

struct Differentiator {
    double previous;
    double current;
    void init() { previous = current = 0.0; }
    void reset() { init(); }
    double process(double x);
};

struct MovingAverage10 {
    double values[10]; // values[0] is the newest
    void init();
    void reset() { init(); }
    double process(double x);
};

struct DelayLine31 {
    double values[33];
    int index;
    void init();
    void reset() { init(); }
    double process(double x); // the input of 31 calls earlier, 0 until then
};

struct IntRing500 {
    int count;
    int capacity;
    int values[500];
    int index;

    void init();
    void setCapacity(int n);            // 1..499, anything else 500
    void push(int v);
    int mean() const;                   // rounded integer mean, 0 when empty
    int rankValue() const;              // low-median rank value, 0 when empty
    double meanAbsDiffPercent(int reference) const;
    int at(int age) const;              // age 0 = newest; caller keeps age < count
};

#endif
