"""Parses a metrics file with the Prometheus client's own parser and prints its samples as JSON."""
import json
import sys

from prometheus_client.parser import text_string_to_metric_families

with open(sys.argv[1], encoding="utf-8") as file:
    families = list(text_string_to_metric_families(file.read()))
print(json.dumps([{"family": f.name, "documentation": f.documentation, "type": f.type,
                   "samples": [{"name": s.name, "labels": s.labels, "value": s.value} for s in f.samples]}
                  for f in families]))
