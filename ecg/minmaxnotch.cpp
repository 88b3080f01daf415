#include "minmaxnotch.h"

#include "debuglog.h"

#include <cmath>

namespace {
// A peak counts as confirmed once the run has fallen this far below it.
constexpr double kConfirm = 20.0;
}

CMinMaxNotch::CMinMaxNotch()
{
    reset(0, 0, 0.0, 0.0, 0);
    m_max = m_min = Side{0.0, -1, 0.0, -1, 0.0, -1, 0.0, -1, 0.0, false, false};
}

void CMinMaxNotch::reset(unsigned char trace, unsigned char notchOn, double notchDepth,
                         double notchHeightLimit, int notchDistanceLimit)
{
    m_trace = trace;
    m_detail = 0;
    m_notchOn = notchOn;
    m_notchDepth = notchDepth;
    m_notchHeightLimit = notchHeightLimit;
    m_notchDistanceLimit = notchDistanceLimit;
    m_traceText.clear();
    m_first = true;
}

void CMinMaxNotch::detail(const std::string& text) const
{
    debugLog(2, text);
}

void CMinMaxNotch::addSample(int i, double x)
{
    if (m_first) {
        for (Side* s : {&m_max, &m_min}) {
            *s = Side{x, i, x, -1, x, -1, x, -1, x, false, false};
        }
        m_first = false;
        return;
    }

    // Maximum side.
    if (x > m_max.current) {
        if (m_max.armed) {
            m_max.secondary = m_max.current;
            m_max.secondaryIndex = m_max.currentIndex;
            m_max.armed = false;
            if (m_detail) detail("2ndary max found idx2=" + toStdString(m_max.secondaryIndex));
        }
        m_max.current = x;
        m_max.currentIndex = i;
        m_max.found = true;
        if (m_detail) detail("max found idx=" + toStdString(i));
    } else {
        if (m_max.current > x + kConfirm && m_max.current > m_min.current + kConfirm) {
            m_max.real = m_max.current;
            m_max.realIndex = m_max.currentIndex;
            m_max.notch = m_max.secondary;
            m_max.notchIndex = m_max.secondaryIndex;
            if (m_detail) detail("moving max to real max");
        }
        if (m_max.armed && x - m_max.valley > m_notchDepth && x > m_max.secondary) {
            m_max.secondary = x;
            m_max.secondaryIndex = i;
            if (m_detail) detail("2ndary max found idx2=" + toStdString(i));
        }
    }

    // Minimum side, mirrored.
    if (x < m_min.current) {
        if (m_min.armed) {
            m_min.secondary = m_min.current;
            m_min.secondaryIndex = m_min.currentIndex;
            m_min.armed = false;
        }
        m_min.current = x;
        m_min.currentIndex = i;
        m_min.found = true;
    } else {
        if (x - kConfirm > m_min.current && m_max.current - kConfirm > m_min.current) {
            m_min.real = m_min.current;
            m_min.realIndex = m_min.currentIndex;
            m_min.notch = m_min.secondary;
            m_min.notchIndex = m_min.secondaryIndex;
        }
        if (m_min.armed && m_min.valley - x > m_notchDepth && m_min.secondary > x) {
            m_min.secondary = x;
            m_min.secondaryIndex = i;
        }
    }

    if (m_notchOn) {
        if (m_max.found && !m_max.armed && m_max.current - x > m_notchDepth) {
            m_max.armed = true;
            m_max.valley = x;
            if (m_detail) detail("arming max at idx=" + toStdString(i));
        }
        if (m_min.found && !m_min.armed && x - m_min.current > m_notchDepth) {
            m_min.armed = true;
            m_min.valley = x;
        }
        if (m_max.armed && m_max.valley > x) {
            m_max.valley = x;
            if (m_detail) detail("updating max valley idx=" + toStdString(i));
        }
        if (m_min.armed && x > m_min.valley)
            m_min.valley = x;
    }
}

bool CMinMaxNotch::readOut(const Side& s, const char* name, int& index, double& value,
                           int& notchIndex, double& notchValue, bool& isReal) const
{
    isReal = s.realIndex != -1;
    if (isReal) {
        index = s.realIndex;
        value = s.real;
        notchIndex = s.notchIndex;
        notchValue = s.notch;
    } else {
        index = s.currentIndex;
        value = s.current;
        notchIndex = s.secondaryIndex;
        notchValue = s.secondary;
    }
    const bool hasNotch = notchIndex != -1 && std::fabs(value - notchValue) < m_notchHeightLimit
        && std::abs(index - notchIndex) <= m_notchDistanceLimit;
    if (m_trace)
        debugLog(2, std::string("CMinMaxNotch::") + name + "() idx=" + toStdString(index)
                 + " val=" + toStdString(value) + " hasNotch=" + toStdString(hasNotch)
                 + " notchIdx=" + toStdString(notchIndex) + " notchVal=" + toStdString(notchValue));
    return hasNotch;
}

bool CMinMaxNotch::getMax(int& index, double& value, int& notchIndex, double& notchValue,
                          bool& isReal) const
{
    return readOut(m_max, "getMax", index, value, notchIndex, notchValue, isReal);
}

bool CMinMaxNotch::getMin(int& index, double& value, int& notchIndex, double& notchValue,
                          bool& isReal) const
{
    return readOut(m_min, "getMin", index, value, notchIndex, notchValue, isReal);
}
