#!/usr/bin/env bash
# An example, not run by the tests (no LSF here): optimize on an LSF cluster
# as a job array of 16 tasks, then merge. LSF numbers an array's tasks from
# its first index: give the array as [1-N], and each task's LSB_JOBINDEX and
# LSB_JOBINDEX_END make it share K of N (--shard auto). A shared folder holds
# the model, the channel and the parts.
set -euo pipefail
bsub -J "optimize[1-16]" -o "logs/optimize.%I.log" \
  amihost optimize -q -l model.so -a model.ami --channel ch.s4p \
  --shard auto --heatmap "" --csv 'part%I.csv'
# After the array has finished (bwait -w 'ended(optimize)'), one ranking of
# the whole grid, byte for byte what one run of it writes:
bwait -w 'ended(optimize)'
amihost merge -o optimize.csv part*.csv
# A task that failed: run it again alone (bsub -J "optimize[7]" ...) and merge again.
