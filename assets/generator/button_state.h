#pragma once

// The looks a skinned button has a picture for, and the file-name suffix of each.
enum class ButtonState { Normal, Hot, Down, Disabled };

struct ButtonStateName {
    ButtonState state;
    const char* suffix;
};

inline constexpr ButtonStateName kButtonStateNames[] = {
    {ButtonState::Normal, "normal"},
    {ButtonState::Hot, "hot"},
    {ButtonState::Down, "down"},
    {ButtonState::Disabled, "disabled"},
};
