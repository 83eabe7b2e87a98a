#!/usr/bin/env python3
"""Timestamps in a copy of the sources, and the table they make (scripts/bench-phases runs it).

  mark_phases.py mark SOURCE_COPY   puts PhaseMark calls (tests/bench/wine/phase_marks.h) into
                                    the copy: the window's survey steps, the engine's, every
                                    queued message of the window's thread, and the driver's
                                    own engine survey; fails if a place is not found
  mark_phases.py table DIRECTORY    reads the marks each process wrote there and prints, per
                                    process and set of ports, the median time of each step
"""

import collections
import pathlib
import statistics
import sys

INCLUDE = '#include "tests/bench/wine/phase_marks.h"\n'

# (file, text after which or which is replaced, replacement); every text must occur once.
EDITS = [
    ("ports/engine/survey_engine.cpp",
     '#include "ports/engine/port_facts_cache.h"\n',
     '#include "ports/engine/port_facts_cache.h"\n' + INCLUDE),
    ("ports/engine/survey_engine.cpp",
     "        std::optional<PortRows> rows = readList();\n",
     '        std::optional<PortRows> rows = readList();\n        PhaseMark("listed");\n'),
    ("ports/engine/survey_engine.cpp",
     "            lock.unlock();\n            std::optional<PortRows> rows;\n",
     '            lock.unlock();\n            PhaseMark("awake");\n            std::optional<PortRows> rows;\n'),
    ("ports/engine/survey_engine.cpp",
     "                rows = shared->stages.readRows(forget);\n",
     '                rows = shared->stages.readRows(forget);\n                PhaseMark("read");\n'),
    ("ports/engine/survey_engine.cpp",
     "        const ProbeResult result = ProbeHere(job.port);\n",
     '        PhaseMark("probe");\n        const ProbeResult result = ProbeHere(job.port);\n'
     '        PhaseMark("answer");\n'),
    ("ports/engine/survey_engine.cpp",
     "        if (closing || !inFlight) return;\n",
     '        PhaseMark("close");\n        if (closing || !inFlight) return;\n'),
    ("ports/engine/survey_engine.cpp",
     "    void Finish() {\n",
     '    void Finish() {\n        PhaseMark("finish");\n'),
    ("ports/engine/survey_engine.cpp",
     "        if (!woken && wake) woken = wake();\n",
     '        if (!woken && wake) {\n            PhaseMark("telling");\n            woken = wake();\n'
     '        }\n'),
    ("ui/port_list_dlg.cpp",
     '#include "ui/port_list_update.h"\n',
     '#include "ui/port_list_update.h"\n' + INCLUDE),
    ("ui/port_list_dlg.cpp",
     "bool CPortListDlg::StartSurvey() {\n",
     'bool CPortListDlg::StartSurvey() {\n    PhaseMark("click");\n'),
    ("ui/port_list_dlg.cpp",
     "    m_statusIcon.SetIcon(m_hLampOn);\n",
     '    m_statusIcon.SetIcon(m_hLampOn);\n    PhaseMark("lit");\n'),
    ("ui/port_list_dlg.cpp",
     "    SurveyEngine::News news = m_survey->Take();\n",
     '    PhaseMark("news");\n    SurveyEngine::News news = m_survey->Take();\n'),
    ("ui/port_list_dlg.cpp",
     "        m_nTipRow = -2;\n",
     '        m_nTipRow = -2;\n        PhaseMark("shown");\n'),
    ("ui/port_list_dlg.cpp",
     "    m_bRefreshing = false;\n    m_statusIcon.SetIcon(m_hLampOff);\n",
     '    m_bRefreshing = false;\n    m_statusIcon.SetIcon(m_hLampOff);\n    PhaseMark("out");\n'),
    ("ui/port_list_dlg.cpp",
     "    m_survey.reset();\n",
     "    m_survey.reset();\n    PhaseMarksWrite();\n"),
    ("framework/dialog.cpp",
     '#include "base/win32_handles.h"\n',
     '#include "base/win32_handles.h"\n' + INCLUDE),
    ("framework/dialog.cpp",
     "    const MSG* message = reinterpret_cast<const MSG*>(lParam);\n",
     "    const MSG* message = reinterpret_cast<const MSG*>(lParam);\n"
     '    PhaseMark("message", static_cast<long long>(message->message));\n'),
    ("tests/bench/wine/wine_bench_main.cpp",
     '#include "ports/engine/survey_engine.h"\n',
     '#include "ports/engine/survey_engine.h"\n' + INCLUDE),
    ("tests/bench/wine/wine_bench_main.cpp",
     "                if (engine.Start())",
     '                PhaseMark("click");\n                if (engine.Start())'),
    ("tests/bench/wine/wine_bench_main.cpp",
     "    Close(portlook, dialog);\n    return figures;\n",
     "    Close(portlook, dialog);\n    PhaseMarksWrite();\n    return figures;\n"),
]

SURVEY_NEWS = 0x8001  # WM_APP + 1
MESSAGES = {0x000F: "WM_PAINT", 0x0113: "WM_TIMER", 0x0118: "system timer",
            0x0200: "WM_MOUSEMOVE"}


def mark(copy):
    for name, anchor, replacement in EDITS:
        path = pathlib.Path(copy) / name
        text = path.read_text()
        if text.count(anchor) != 1:
            sys.exit(f"mark_phases: {name}: {anchor.strip()!r} found {text.count(anchor)} times")
        path.write_text(text.replace(anchor, replacement))


def surveys(path):
    """The marks of each survey, from its click on, as (what, ms after the click, detail)."""
    found = []
    for line in path.read_text().splitlines():
        what, nanoseconds, detail = line.split()
        if what == "click":
            found.append([])
            start = int(nanoseconds)
        if found:
            found[-1].append((what, (int(nanoseconds) - start) / 1e6, int(detail)))
    return found


def steps(marks):
    first, last = {}, {}
    for what, at, _ in marks:
        first.setdefault(what, at)
        last[what] = at
    probe_calls = 0.0
    opened = None
    for what, at, _ in marks:
        if what == "probe":
            opened = at
        elif what == "answer" and opened is not None:
            probe_calls += at - opened
            opened = None
    found = {}

    def between(name, start, end):
        if start in first and end in first:
            found[name] = first[end] - first[start]

    between("click to the survey's thread awake", "click", "awake")
    between("port list read", "awake", "listed")
    between("facts from the cache", "listed", "read")
    between("list read to first probe", "read", "probe")
    if "probe" in first and "answer" in last:
        found["probes: inside the opens"] = probe_calls
        found["probes: the engine between them"] = last["answer"] - first["probe"] - probe_calls
    if "answer" in last and "finish" in first:
        found["last answer to finished (holder stage)"] = first["finish"] - last["answer"]
    between("finished to telling the user", "finish", "telling")
    between("telling to the window taking the news", "telling", "news")
    between("rows shown", "news", "shown")
    between("lamp put out", "shown", "out")
    between("click to lamp lit (the window's thread, sharing the CPU)", "click", "lit")
    between("click to lamp out: the whole refresh inside Portlook", "click", "out")
    between("click to finished", "click", "finish")
    if "news" in first:
        for what, at, detail in marks:
            if what == "message" and at < first["news"] and detail != SURVEY_NEWS:
                name = "messages before the news: " + MESSAGES.get(detail, hex(detail))
                found[name] = found.get(name, 0) + 1
    return found


def table(directory):
    columns = collections.OrderedDict()
    for path in sorted(pathlib.Path(directory).glob("*.txt")):
        runs = surveys(path)[1:]  # the first is the program's start-up
        if not runs:
            continue
        window = any(what == "message" for run in runs for what, _, _ in run)
        by_ports = collections.defaultdict(list)
        for run in runs:
            by_ports[sum(1 for what, _, _ in run if what == "probe")].append(steps(run))
        for ports, found in by_ports.items():
            who = "Portlook.exe" if window else "engine alone, in the driver"
            columns[f"{ports} ports, {who} (n={len(found)})"] = found
    names = []
    for found in columns.values():
        for run in found:
            names += [name for name in run if name not in names]
    print("| Step (median ms) | " + " | ".join(columns) + " |")
    print("|---|" + "---:|" * len(columns))
    for name in names:
        cells = []
        for found in columns.values():
            # A message not taken in a survey was taken 0 times.
            counted = name.startswith("messages")
            values = [run.get(name, 0) for run in found if counted or name in run]
            cells.append(f"{statistics.median(values):.3f}" if values else "-")
        print(f"| {name} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("mark", "table"):
        sys.exit(__doc__)
    (mark if sys.argv[1] == "mark" else table)(sys.argv[2])
