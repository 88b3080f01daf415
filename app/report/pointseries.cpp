#include "pointseries.h"

CPointSeries::CPointSeries()
    : m_values(new float[kMaxCapacity]())
    , m_flags(new std::uint8_t[kMaxCapacity]())
{
}

CPointSeries::~CPointSeries() = default;

void CPointSeries::init(int capacity, int range)
{
    m_capacity = capacity < 1 ? 1 : (capacity > kMaxCapacity ? kMaxCapacity : capacity);
    m_range = range;
    m_read = 0;
    m_write = 0;
    m_count = 0;
}

void CPointSeries::add(float value, std::uint8_t flag)
{
    m_values[static_cast<std::size_t>(m_write)] = value;
    m_flags[static_cast<std::size_t>(m_write)] = flag;
    m_write = (m_write + 1) % m_capacity;
    if (m_count < m_capacity)
        ++m_count;
    else
        m_read = m_write; // full: the oldest value was just overwritten
}

float CPointSeries::value(int i) const
{
    return i >= 0 && i < m_count ? m_values[static_cast<std::size_t>(slot(i))] : 0.0f;
}

std::uint8_t CPointSeries::flag(int i) const
{
    return i >= 0 && i < m_count ? m_flags[static_cast<std::size_t>(slot(i))] : 0;
}

bool CPointSeries::setValue(int i, float value)
{
    if (i < 0 || i >= m_count)
        return false;
    m_values[static_cast<std::size_t>(slot(i))] = value;
    return true;
}
