#!/usr/bin/env python3
"""Prints the benchmark table from the files bench/run leaves in its results
directory: hyperfine JSON exports, the matcher's Google Benchmark JSON and the
peak-memory numbers. Usage: report.py RESULTS_DIR LARGE_SLF"""

import json
import os
import statistics
import struct
import sys

MIB = 1024 * 1024


def hyperfine_samples(results, name):
    """Seconds of every run of arcdig and of its peer over both runs of the
    pair: the first export lists arcdig first, the second the peer first."""
    samples = {"arcdig": [], "peer": []}
    for suffix, order in ((".1.json", ("arcdig", "peer")), (".2.json", ("peer", "arcdig"))):
        with open(os.path.join(results, name + suffix)) as stream:
            exported = json.load(stream)["results"]
        for role, result in zip(order, exported):
            samples[role].extend(result["times"])
    return samples["arcdig"], samples["peer"]


def median_and_spread(samples):
    """The median and half the interquartile range, as text."""
    median = statistics.median(samples)
    if len(samples) < 4:
        return seconds_text(median)
    quartiles = statistics.quantiles(samples, n=4)
    spread = (quartiles[2] - quartiles[0]) / 2 / median * 100
    return f"{seconds_text(median)} ±{spread:.0f}%"


def matcher_seconds(path):
    """Median time of one pass over all names, the slower of the benchmarks."""
    if not os.path.exists(path):
        return None
    with open(path) as stream:
        benchmarks = json.load(stream)["benchmarks"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    medians = [b["real_time"] * scale[b["time_unit"]]
               for b in benchmarks if b.get("aggregate_name") == "median"]
    if not medians:  # a run without repetitions reports single results
        medians = [b["real_time"] * scale[b["time_unit"]] for b in benchmarks]
    return max(medians) if medians else None


def largest_entry_bytes(slf_path):
    with open(slf_path, "rb") as stream:
        stream.seek(512)
        count = struct.unpack("<i", stream.read(4))[0]
        stream.seek(-280 * count, os.SEEK_END)
        directory = stream.read(280 * count)
    return max(struct.unpack_from("<i", directory, i * 280 + 260)[0] for i in range(count))


def seconds_text(value):
    return f"{value * 1000:.1f} ms" if value < 1 else f"{value:.3f} s"


def verdict(met):
    return "met" if met else "**missed**"


def ratio_row(results, work, name, peer, target):
    """One timed pair: medians with their spread, and the ratio of medians."""
    ours, theirs = hyperfine_samples(results, name)
    ratio = statistics.median(ours) / statistics.median(theirs)
    return (work, median_and_spread(ours), f"{median_and_spread(theirs)} ({peer})",
            f"{ratio:.2f}×", f"≤ {target:.1f}×", verdict(ratio <= target))


def memory_row(results, work, ours_file, theirs_file, peer):
    """Peak resident memory beside a peer's; the limit is 16 MiB, since
    members are streamed and memory must not grow with their size."""
    def kib(file_name):
        with open(os.path.join(results, file_name)) as stream:
            return int(stream.read().strip() or 0)
    limit = 16 * MIB
    ours = kib(ours_file) * 1024
    return (work, f"{ours / MIB:.1f} MiB", f"{kib(theirs_file) * 1024 / MIB:.1f} MiB ({peer})",
            f"{ours / limit:.2f}× of limit", "≤ 16 MiB", verdict(ours <= limit))


def main():
    results, large_slf = sys.argv[1], sys.argv[2]
    rows = [
        ratio_row(results, "extract *tilesets* (6,324 × 1–22 KiB)", "extract_tilesets", "GNU tar -x", 1.0),
        ratio_row(results, "extract *large* (24 × 16 MiB)", "extract_large", "bsdtar -x", 1.0),
        ratio_row(results, "extract *large* (24 × 16 MiB)", "extract_large_cp", "cp -r of the tree", 1.1),
        ratio_row(results, "list *many* (200,000 entries) to a file", "list_many", "GNU tar -t", 0.3),
        ratio_row(results, "list *tilesets* to a file", "list_tilesets", "unzip -l", 1.0),
    ]

    matcher = matcher_seconds(os.path.join(results, "matcher.json"))
    rows.append(("matcher `*a*a*a*a*a*a*b`, 10,000 names of 255 × 'a'",
                 seconds_text(matcher) if matcher is not None else "failed", "–", "–",
                 "≤ 0.1 s", verdict(matcher is not None and matcher <= 0.1)))

    largest = largest_entry_bytes(large_slf) / MIB
    rows += [
        memory_row(results, f"peak memory (max RSS) extracting *large* (largest member {largest:.0f} MiB)",
                   "memory_arcdig.txt", "memory_bsdtar.txt", "bsdtar -x"),
        ratio_row(results, "arcpack: pack *tilesets* tree (6,324 files)", "pack_tilesets", "GNU tar -c", 1.0),
        ratio_row(results, "arcpack: pack *large* tree (24 × 16 MiB)", "pack_large", "GNU tar -c", 1.0),
        memory_row(results, "arcpack: peak memory (max RSS) packing one 1.5 GB file",
                   "memory_pack_arcpack.txt", "memory_pack_tar.txt", "GNU tar -c"),
    ]

    print("| Work | ours (median ± half IQR) | peer (median ± half IQR) | ratio of medians | target | result |")
    print("|---|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
