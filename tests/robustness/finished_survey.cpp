#include "tests/robustness/finished_survey.h"

#include <algorithm>
#include <chrono>

std::optional<FinishedSurvey> SurveyToTheEnd(SurveyEngine& engine, const char* hanging,
                                             DWORD wait) {
    const DWORD start = ::GetTickCount();
    if (!engine.Start() || !engine.WaitFinished(std::chrono::milliseconds(wait))) {
        return std::nullopt;
    }
    std::optional<FinishedSurvey> finished;
    for (;;) {
        SurveyEngine::News news = engine.Take();
        if (news.rows) finished = FinishedSurvey{std::move(*news.rows), news.rowsSurvey};
        if (finished && finished->survey == news.survey &&
            std::all_of(finished->rows.begin(), finished->rows.end(), [&](const PortRow& row) {
                return !row.pending || (hanging && row.port == hanging);
            })) {
            return finished;
        }
        if (::GetTickCount() - start > wait) return std::nullopt;
        ::Sleep(5);
    }
}
