#!/usr/bin/env bash
# Makes the screens bench/capture_latency.sh captures: a five-line paragraph of 13 px text, a
# 1000 x 450 area of code in a dark editor, a full-HD web page. Fonts and texts are none the
# accuracy floors use (fonts-liberation2, fonts-noto-mono). The PNGs are kept in the tree, so
# the bench needs no fonts; run this only to change them.
# usage: bench/make-latency-images.sh
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/data/latency

paragraph=(
    "The committee met on Thursday to review the budget for"
    "the coming year. Most members agreed that the library"
    "should stay open on weekends, while the pool will close"
    "for repairs in March. A final vote is planned for the"
    "next session, after the public hearing in February."
)
args=()
for i in "${!paragraph[@]}"; do args+=(-annotate "+6+$((15 + 17 * i))" "${paragraph[$i]}"); done
convert -size 369x90 xc:'#fdfdfd' -font Liberation-Serif -pointsize 13 -fill '#1f1f1f' "${args[@]}" \
    "$out/paragraph.png"
printf '%s\n' "${paragraph[@]}" >"$out/paragraph.txt"

code=(
    "import json"
    "from pathlib import Path"
    ""
    "def load_orders(folder: Path) -> list[dict]:"
    "    \"\"\"Reads every order file in the folder, newest first.\"\"\""
    "    orders = []"
    "    for path in sorted(folder.glob(\"*.json\"), reverse=True):"
    "        with path.open(encoding=\"utf-8\") as file:"
    "            order = json.load(file)"
    "        if order.get(\"status\") == \"cancelled\":"
    "            continue"
    "        order[\"total\"] = sum(item[\"price\"] * item[\"qty\"] for item in order[\"items\"])"
    "        orders.append(order)"
    "    return orders"
    ""
    "def summary(orders: list[dict]) -> str:"
    "    count = len(orders)"
    "    revenue = sum(order[\"total\"] for order in orders)"
    "    return f\"{count} orders, {revenue:.2f} EUR\""
    ""
    "if __name__ == \"__main__\":"
    "    print(summary(load_orders(Path(\"orders\"))))"
)
args=()
# ImageMagick drops leading blanks: indentation is drawn as an offset of whole cells (0.6 em).
for i in "${!code[@]}"; do
    line=${code[$i]}
    text=${line#"${line%%[! ]*}"}
    args+=(-annotate "+$((12 + (${#line} - ${#text}) * 84 / 10))+$((24 + 19 * i))" "$text")
done
convert -size 1000x450 xc:'#1e1e1e' -font Noto-Mono -pointsize 14 -fill '#d4d4d4' "${args[@]}" "$out/code.png"
printf '%s\n' "${code[@]}" >"$out/code.txt"

# A news page: the browser's bar, a headline, an article in two columns and a sidebar.
column() {
    local x=$1 y=$2
    shift 2
    local i=0 line
    for line in "$@"; do
        args+=(-annotate "+$x+$((y + 26 * i))" "$line")
        i=$((i + 1))
    done
}
left=("Researchers at the coastal station counted more seabirds"
    "this spring than in any year since 2011. They credit a ban"
    "on fishing near the cliffs, which left more sand eels for"
    "the chicks. Puffins returned first, followed two weeks later"
    "by razorbills and guillemots, and the first eggs were seen"
    "at the end of April, ten days earlier than last year."
    "The station's volunteers walk the cliff path twice a week"
    "and count every nest they can see from the marked posts."
    "Their records go back forty years, which makes the colony"
    "one of the best watched on the whole coast. Counting is"
    "slow work: a single ledge can hold two hundred birds.")
right=("The town council voted on Tuesday to keep the old library"
    "open through the winter. Volunteers will staff the reading"
    "room on weekday evenings, and the heating bill will be"
    "shared with the school next door. Several residents asked"
    "whether the building could also host the weekly farmers'"
    "market when it rains. The council will decide in March."
    "A survey last autumn found that most visitors come in the"
    "late afternoon, after school, and that the children's"
    "corner is the busiest part of the building on Saturdays."
    "The library also lends tools, board games and telescopes,"
    "which have become popular with families in the long nights.")
side=("Most read" "Harbour repairs begin next week" "New bus timetable from May"
    "Local bakery wins regional prize" "Concert in the park on Sunday" "Letters to the editor")
args=()
column 120 330 "${left[@]}"
column 700 330 "${right[@]}"
convert -size 1920x1080 xc:white \
    -fill '#e8eaed' -draw 'rectangle 0,0 1919,74' -fill white -draw 'roundrectangle 260,18 1400,56 18,18' \
    -font Liberation-Sans -pointsize 16 -fill '#202124' -annotate +290+43 'https://news.example.org/coast/seabirds-return' \
    -pointsize 40 -font Liberation-Sans-Bold -annotate +120+170 'Seabirds return to the northern cliffs' \
    -pointsize 18 -font Liberation-Sans -fill '#5f6368' -annotate +120+220 'By Maria Lind, 4 May 2024 - 5 minutes to read' \
    -fill '#202124' -pointsize 18 "${args[@]}" \
    -fill '#f1f3f4' -draw 'rectangle 1340,300 1800,700' \
    -pointsize 22 -font Liberation-Sans-Bold -fill '#202124' -annotate +1370+345 "${side[0]}" \
    -pointsize 17 -font Liberation-Sans -fill '#1a0dab' \
    -annotate +1370+395 "${side[1]}" -annotate +1370+440 "${side[2]}" -annotate +1370+485 "${side[3]}" \
    -annotate +1370+530 "${side[4]}" -annotate +1370+575 "${side[5]}" \
    -fill '#5f6368' -pointsize 15 -annotate +120+1040 'News of the coast - Contact - Privacy - Terms of use' \
    "$out/page.png"
