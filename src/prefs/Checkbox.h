// Check box states as the controller reads them: 0 off, 1 on, -1 mixed.
#pragma once

#include <QCheckBox>

namespace tolvane {

inline constexpr int StateOff = 0;
inline constexpr int StateOn = 1;
inline constexpr int StateMixed = -1;

inline int checkboxState(const QCheckBox& box)
{
    switch (box.checkState()) {
    case Qt::Unchecked:
        return StateOff;
    case Qt::Checked:
        return StateOn;
    default:
        return StateMixed;
    }
}

inline void setCheckboxState(QCheckBox& box, int state)
{
    box.setCheckState(state == StateOff  ? Qt::Unchecked
                      : state == StateOn ? Qt::Checked
                                         : Qt::PartiallyChecked);
}

} // namespace tolvane
