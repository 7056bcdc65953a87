"""Makes the results table of BENCHMARKS.md from the benchmark programs' JSON output."""
import datetime
import json
import os
import platform
import subprocess
import sys


def times(path):
    data = json.load(open(path))
    result = {}
    for b in data["benchmarks"]:
        name = b["name"].split("/")[0]
        result[name] = b
    return result


def times_by_argument(path):
    """Benchmarks run for several sizes, keyed by (name, argument)."""
    data = json.load(open(path))
    result = {}
    for b in data["benchmarks"]:
        name, _, argument = b["name"].partition("/")
        result[(name, int(argument or 0))] = b
    return result


def ms(b):
    unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * unit


def cpu_model():
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return platform.processor()


def main():
    core = times(sys.argv[1])
    paint = times(sys.argv[2])
    file_bytes, heap_bytes, rss_bytes = (int(v) for v in open(sys.argv[3]).read().split())
    command = sys.argv[4]
    nproc = subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
    rows = []

    def row(path, ours, peer, figure, goal, met):
        status = met if isinstance(met, str) else ("met" if met else "MISSED")
        rows.append(f"| {path} | {ours} | {peer} | {figure} | {goal} | {status} |")

    s, g = core["BM_Scanner"], core["BM_GumboParse"]
    s_mbs, g_mbs = s["bytes_per_second"] / 2**20, g["bytes_per_second"] / 2**20
    r = s_mbs / g_mbs
    row("page scanner (scan, title, keywords, links), "
        f"{s.get('corpus_MB', 0):.1f} MB, {int(s.get('pages', 0))} pages "
        f"({int(s.get('found_files', 0))} found files)",
        f"{s_mbs:.0f} MB/s", f"gumbo_parse {g_mbs:.1f} MB/s", f"{r:.1f}x",
        ">= 25x (stretch 40x)", r >= 25)

    i, l = core["BM_CategorizeIndexed"], core["BM_CategorizeLiteral"]
    r = ms(l) / ms(i)
    row("categorizing one new page, 100k store", f"{ms(i):.2f} ms "
        f"(identical scores and ranking: {'yes' if i.get('identical') == 1 else 'NO'}; "
        f"first run with the index made {i.get('first_run_ms', 0):.0f} ms)",
        f"literal walk {ms(l):.0f} ms", f"{r:.0f}x", ">= 50x, identical",
        r >= 50 and i.get("identical") == 1)

    p, lit, ig = core["BM_RelaxationPass"], core["BM_RelaxationPassLiteral"], \
        core["BM_IgraphFruchtermanReingoldOneIteration"]
    r = ms(p) / ms(ig)
    row("one relaxation pass, 10k sites, 10k words "
        f"(literal pass {ms(lit):.0f} ms)",
        f"{ms(p):.0f} ms (same positions as literal: "
        f"{'yes' if p.get('same_positions') == 1 else 'NO'})",
        f"igraph FR 1 iteration, no grid, {int(ig.get('vertices', 0))} vertices, "
        f"{int(ig.get('edges', 0))} edges: {ms(ig):.0f} ms",
        f"{r:.2f} of igraph", "<= 0.5, same positions",
        r <= 0.5 and p.get("same_positions") == 1)

    pr, pn = paint["BM_PaintWorldRenderer"], paint["BM_PaintWorldNaive"]
    r = ms(pn) / ms(pr)
    diff = int(pr.get("differing_pixels", -1))
    row("painting the whole world, 10k sites, 100k link nodes, 20k words, all layers, 1600x1000",
        f"{ms(pr):.0f} ms ({diff} pixels differ from the naive picture)",
        f"naive loop {ms(pn):.0f} ms", f"{r:.1f}x",
        "same picture (the 5x goal is retired: the window no longer paints the world)",
        "met" if diff == 0 else "MISSED")

    dc = paint["BM_PaintWorldDecluttered"]
    r = ms(pr) / ms(dc)
    row("painting the same whole world with Declutter Labels",
        f"{ms(dc):.0f} ms ({int(dc.get('labels', 0))} labels drawn, "
        f"placed in {dc.get('placement_ms', 0):.0f} ms)",
        f"every label drawn {ms(pr):.0f} ms", f"{r:.1f}x", "faster than every label", r > 1)

    d = paint["BM_RepaintAfterDrag"]
    r = ms(d) / ms(pr)
    row("repainting after dragging one node", f"{ms(d):.3f} ms", f"full paint {ms(pr):.0f} ms",
        f"1/{1 / r:.0f}", "<= 1/50", r <= 1 / 50)

    for op in ("Load", "Save"):
        w, q = core[f"BM_{op}UrlsWfx"], core[f"BM_{op}Sqlite"]
        r = ms(q) / ms(w)
        row(f"{op.lower()} urls.wfx of the 100k store ({file_bytes / 1e6:.0f} MB)",
            f"{ms(w):.0f} ms", f"SQLite, one transaction: {ms(q):.0f} ms", f"{r:.1f}x",
            ">= 3x", r >= 3)

    r = heap_bytes / file_bytes
    row("memory of the loaded 100k store", f"heap {heap_bytes / 1e6:.0f} MB "
        f"(RSS growth {rss_bytes / 1e6:.0f} MB)", f"urls.wfx {file_bytes / 1e6:.0f} MB",
        f"{r:.2f}x the file", "<= 3x", r <= 3 and rss_bytes / file_bytes <= 3)

    # Goals for filling the log book at start and adding one site, by store size.
    logbook = times_by_argument(sys.argv[5]) if len(sys.argv) > 5 else {}
    for sites, fill_goal, add_goal in ((10000, 20, 1), (30000, 50, 1), (100000, 100, 2)):
        if ("BM_LogBookFillAtStart", sites) not in logbook:
            continue
        fill = ms(logbook[("BM_LogBookFillAtStart", sites)])
        add = ms(logbook[("BM_LogBookAddSite", sites)])
        fill_open = ms(logbook[("BM_LogBookFillWithSitesOpen", sites)])
        add_open = ms(logbook[("BM_LogBookAddSiteWithSitesOpen", sites)])
        sort = ms(logbook[("BM_LogBookSortTypeChange", sites)])
        row(f"log book, {sites:,} sites: filling it at start / adding one site",
            f"{fill:.2f} ms / {add:.2f} ms (\"SITES\" open: {fill_open:.0f} ms / "
            f"{add_open:.1f} ms; new sort type {sort:.0f} ms)", "",
            f"{fill / fill_goal:.2f} / {add / add_goal:.2f} of the goal",
            f"<= {fill_goal} ms / <= {add_goal} ms", fill <= fill_goal and add <= add_goal)

    # The real main window on generated stores, measured by a heartbeat of its event loop.
    window = json.load(open(sys.argv[6]))["worlds"] if len(sys.argv) > 6 else []
    goals = {10000: (30, 1000, 1000), 30000: (50, 3000, 2000), 100000: (100, None, 5000)}
    for w in window:
        sites = w["sites"]
        if sites not in goals:
            continue
        page_goal, exact_goal, start_goal = goals[sites]
        world = f"window, {sites:,} sites ({sites * 10:,} link nodes)"
        row(f"{world}: blocked per page arriving",
            f"{w['page_worst_ms']:.0f} ms worst (median {w['page_median_ms']:.0f} ms)", "",
            f"{w['page_worst_ms'] / page_goal:.2f} of the goal", f"<= {page_goal} ms",
            w["page_worst_ms"] <= page_goal)
        row(f"{world}: blocked per pan or zoom step", f"{w['pan_worst_ms']:.0f} ms worst", "",
            f"{w['pan_worst_ms'] / 16:.2f} of the goal", "<= 16 ms", w["pan_worst_ms"] <= 16)
        exact = w["exact_after_last_change_ms"]
        row(f"{world}: exact picture after the last change", f"{exact:.0f} ms", "",
            f"{exact / exact_goal:.2f} of the goal" if exact_goal else "",
            f"<= {exact_goal / 1000:.0f} s" if exact_goal else "(measure)",
            exact <= exact_goal if exact_goal else "measured")
        row(f"{world}: start until the window answers",
            f"{w['start_ms']:.0f} ms (first exact pictures after {w['first_picture_ms']:.0f} ms)",
            "", f"{w['start_ms'] / start_goal:.2f} of the goal", f"<= {start_goal / 1000:.0f} s",
            w["start_ms"] <= start_goal)

    if len(sys.argv) > 7:
        runs = json.load(open(sys.argv[7]))["imports"]
        first_day = [r for r in runs if r["store_sites"] == 0]
        shown = next(r for r in first_day if r["maps_shown"])
        hidden = next((r for r in first_day if not r["maps_shown"]), None)
        rate, still = shown["pages_per_second"], shown["longest_stand_still_ms"]
        hidden_text = (f"; map panes hidden: {hidden['pages_per_second']:.0f} pages/s, "
                       f"{hidden['longest_stand_still_ms']:.0f} ms") if hidden else ""
        row(f"importing {shown['pages']:,} history pages from loopback servers into an empty "
            "store, the window shown",
            f"{rate:.0f} pages/s ({shown['failed']} failed), the window stood still at most "
            f"{still:.0f} ms{hidden_text}",
            "none", f"{rate:.0f} pages/s, {still:.0f} ms", ">= 50 pages/s, < 50 ms",
            rate >= 50 and still < 50 and shown["failed"] == 0)

    load = " / ".join(f"{v:.1f}" for v in os.getloadavg())
    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    print(f"Machine: {nproc} cores, {cpu_model()}. Run: {when}, wall-clock times. "
          f"Command: `{command}`. Load average at the end (1 / 5 / 15 min): {load}.\n")
    print("| hot path | ours | peer | figure | goal | |")
    print("|---|---|---|---|---|---|")
    print("\n".join(rows))


main()
