# A clustered bar chart of one benchmark area, for the benchmark report.
# The data file's first line names the columns; every further line is one
# cluster: its label, then one figure per library ("-" where it did not run).
#
#   gnuplot -e "datafile='a.dat'; outfile='a.png'; chart_title='...'; \
#               ylabel_text='MB/s'; series=3; logscale=0; width=900" bench-chart.gp

if (!exists("width")) width = 900
if (!exists("logscale")) logscale = 0
if (!exists("ylabel_text")) ylabel_text = "MB/s"

set terminal pngcairo size width,520 font "DejaVu Sans,10" noenhanced
set output outfile
set title chart_title font ",12"
set ylabel ylabel_text
set datafile missing "-"
set key autotitle columnheader  # every plot skips the names line
set style data histogram
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.95 relative
set key outside top center horizontal
set grid ytics
set xtics nomirror rotate by -25 left
set ytics nomirror
set border 3
set bmargin 7
set rmargin 14  # room for the last, slanted cluster label
if (logscale) {
    set logscale y
    set yrange [*:*]
} else {
    set yrange [0:*]
}
set offsets 0, 0, graph 0.08, 0

# Bar k of n in cluster j stands at j + (k - (n - 1) / 2) / (n + gap).
bar_x(j, k) = j + (k - (series - 1) / 2.0) / (series + 1.0)
rate_label(v) = v >= 100 ? sprintf("%.0f", v) : sprintf("%.1f", v)

plot for [i=2:series+1] datafile using i:xtic(1) title columnheader(i), \
     for [i=2:series+1] datafile using (bar_x($0, i - 2)):(column(i)):(rate_label(column(i))) \
         with labels rotate by 90 left offset 0,0.3 font ",7" notitle
