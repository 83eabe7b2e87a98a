// A survey of the engine awaited to its very end, as the robustness tests compare it.
#pragma once

#include <optional>

#include "base/platform.h"
#include "ports/engine/survey_engine.h"

// One survey of `engine` once every port but `hanging` (unless null) has answered: answers that
// come after the survey's patience are waited for too. Nothing when the survey cannot start or its
// answers do not come within `wait`.
struct FinishedSurvey {
    PortRows rows;
    unsigned survey = 0;  // as SurveyEngine::News counts it
};
std::optional<FinishedSurvey> SurveyToTheEnd(SurveyEngine& engine, const char* hanging, DWORD wait);
