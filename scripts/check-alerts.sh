#!/usr/bin/env bash
# The Prometheus alerting rules shipped in docs/prometheus: promtool finds them valid, and their unit tests pass
# (each rule made to fire, and kept quiet where it must be).
set -euo pipefail
cd "$(dirname "$0")/../docs/prometheus"
promtool check rules pylvane-alerts.yml
promtool test rules pylvane-alerts.test.yml
