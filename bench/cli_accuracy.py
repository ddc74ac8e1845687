#!/usr/bin/env python3
"""Runs `glyphwell --recognize` over the benchmark images, as a user would, and prints the
character error rate per OCR image and the exact-match count of the barcodes, and the time of
`--recognize` in "Automatic" beside raw `tesseract FILE stdout -l LANG` on the same files
(both whole processes: start, model loading, reading), interleaved, fastest of two each.

usage: bench/cli_accuracy.py path/to/glyphwell [bench/data]
"""
import csv
import os
import subprocess
import sys
import time
import unicodedata

from kinds import edit_distance


def normalise(text, cjk):
    text = unicodedata.normalize("NFC", text)
    text = " ".join(text.split())
    return text.replace(" ", "") if cjk else text


def run(program, args):
    start = time.monotonic()
    result = subprocess.run([program, "--recognize", *args], capture_output=True)
    elapsed = (time.monotonic() - start) * 1000
    out = result.stdout.decode("utf-8", "replace")
    return result.returncode, out[:-1] if out.endswith("\n") else out, elapsed


def fastest_ms(command, runs=2):
    best = None
    for _ in range(runs):
        start = time.monotonic()
        subprocess.run(command, capture_output=True)
        elapsed = (time.monotonic() - start) * 1000
        best = elapsed if best is None else min(best, elapsed)
    return best


def median(values):
    values = sorted(values)
    n = len(values)
    return (values[n // 2] + values[(n - 1) // 2]) / 2 if n else 0


def compare_with_tesseract(program, files):
    """files: (path, tesseract language); prints glyphwell Automatic against raw tesseract."""
    ours, raw = [], []
    for path, language in files:
        raw.append(fastest_ms(["tesseract", path, "stdout", "-l", language]))
        ours.append(fastest_ms([program, "--recognize", path, "--language", "automatic"]))
    ratios = [o / r for o, r in zip(ours, raw)]
    print(f"  {len(files)} files: raw tesseract median {median(raw):6.0f} ms, total {sum(raw):7.0f} ms; "
          f"glyphwell automatic median {median(ours):6.0f} ms, total {sum(ours):7.0f} ms")
    print(f"  ratio glyphwell / tesseract: median per file {median(ratios):.2f}, of totals {sum(ours) / sum(raw):.2f}, "
          f"worst {max(ratios):.2f} ({os.path.basename(files[ratios.index(max(ratios))][0])})")


def main():
    program = os.path.abspath(sys.argv[1])
    data = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "data")
    env_note = os.environ.get("OMP_THREAD_LIMIT", "unset")
    print(f"glyphwell --recognize over {data} (OMP_THREAD_LIMIT={env_note}); times include process start")

    print(f"\n{'OCR image':34} {'language':10} {'CER':>6} {'ms':>6}")
    total_cer = []
    ocr = os.path.join(data, "ocr")
    with open(os.path.join(ocr, "INDEX.tsv"), newline="") as index:
        rows = list(csv.DictReader(index, delimiter="\t"))
    for row in rows:
        name = row["file"]
        lang = row.get("language", "eng")
        cjk = lang.startswith("chi") or lang.startswith("jpn") or lang.startswith("kor")
        identifier = "en-US" if lang.split()[0] == "eng" else "zh-Hans" if cjk else "automatic"
        expected = open(os.path.join(ocr, os.path.splitext(name)[0] + ".txt"), encoding="utf-8").read()
        for label, language in (("given", identifier), ("automatic", "automatic")):
            if label == "automatic" and identifier == "automatic":
                continue
            status, got, ms = run(program, [os.path.join(ocr, name), "--language", language])
            ref = normalise(expected, cjk)
            cer = edit_distance(ref, normalise(got if status == 0 else "", cjk)) / max(1, len(ref))
            if label == "given":
                total_cer.append(cer)
            print(f"{name:34} {language:10} {cer:6.3f} {ms:6.0f}")
    print(f"mean CER with the image's language: {sum(total_cer) / len(total_cer):.3f} over {len(total_cer)} images")

    print("\n--recognize (Automatic) against raw tesseract with the file's language, whole processes:")
    print(" the OCR data set")
    compare_with_tesseract(program, [(os.path.join(ocr, row["file"]), row["tesseract530_lang"]) for row in rows])
    screen = os.path.join(data, "screen")
    tesseract_names = {"en-US": "eng", "fr-FR": "fra", "de-DE": "deu", "es-ES": "spa", "it-IT": "ita",
                       "pt-PT": "por", "ja-JP": "jpn", "ko-KR": "kor", "zh-Hans": "chi_sim"}
    with open(os.path.join(screen, "INDEX.tsv"), newline="") as index:
        snippets = list(csv.DictReader(index, delimiter="\t"))
    print(" the screen snippets")
    compare_with_tesseract(program, [(os.path.join(screen, row["file"]), tesseract_names[row["language"]])
                                     for row in snippets])

    barcodes = os.path.join(data, "barcodes")
    counts = {}
    with open(os.path.join(barcodes, "INDEX.tsv"), newline="") as index:
        for row in csv.DictReader(index, delimiter="\t"):
            # A capture's result is trimmed at both ends (white space and line breaks), so the
            # payload is compared the same way; everything inside must match byte for byte.
            expected = open(os.path.join(barcodes, row["expected"]), "rb").read().decode("utf-8").strip()
            expected = expected.encode("utf-8")
            result = subprocess.run([program, "--recognize", os.path.join(barcodes, row["file"]), "--mode", "qr"],
                                    capture_output=True)
            got = result.stdout[:-1] if result.stdout.endswith(b"\n") else result.stdout
            ok = result.returncode == 0 and got == expected
            done, total = counts.get(row["difficulty"], (0, 0))
            counts[row["difficulty"]] = (done + ok, total + 1)
            if not ok and row["difficulty"] == "easy":
                print(f"missed easy code: {row['file']}")
    print("\nbarcodes decoded exactly, payload trimmed at both ends (--mode qr):",
          ", ".join(f"{k} {v[0]}/{v[1]}" for k, v in sorted(counts.items())))


if __name__ == "__main__":
    main()
