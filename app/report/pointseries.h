#ifndef MALVORANT_POINTSERIES_H
#define MALVORANT_POINTSERIES_H

#include <cstdint>
#include <memory>

// The values of one lead of a report strip, with one flag byte per value
// (1 = an event entry). A ring: when full, adding drops the oldest value.
// Storage is sized once for the longest strip the paper speeds allow.
class CPointSeries
{
public:
    static constexpr int kMaxCapacity = 80000; // strip length at the slowest paper speed

    CPointSeries();
    virtual ~CPointSeries();

    CPointSeries(const CPointSeries&) = delete;
    CPointSeries& operator=(const CPointSeries&) = delete;

    virtual void add(float value, std::uint8_t flag);
    // Empties the series; capacity is limited to 1 .. kMaxCapacity.
    virtual void init(int capacity, int range);

    int count() const { return m_count; }
    int capacity() const { return m_capacity; }
    int range() const { return m_range; }
    // Oldest first; i in 0 .. count - 1 (others give 0).
    float value(int i) const;
    std::uint8_t flag(int i) const;
    // Replaces the value held at position i (oldest first); false outside.
    bool setValue(int i, float value);

private:
    int slot(int i) const { return (m_read + i) % m_capacity; }

    std::unique_ptr<float[]> m_values;
    std::unique_ptr<std::uint8_t[]> m_flags;
    int m_read = 0;
    int m_write = 0;
    int m_capacity = 1;
    int m_range = 0;
    int m_count = 0;
};

#endif
