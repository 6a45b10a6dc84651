-- Test data for scripts/benchmark.sh: :rows record lines of eight benches over sixteen lanes,
-- one every 20 s, with their totals, as the collector would leave them.
INSERT INTO record_lines (bench, seq, finished, day, lane, unit_id, lead_serial, result, host,
                          line, station)
SELECT bench, g, f, substr(f, 1, 10), lane, 'U' || g, lane, result, 'bench-host',
       json_build_object('schema', 1, 'bench', bench, 'seq', g, 'finished', f,
                         'lead_serial', lane, 'unit_id', 'U' || g, 'result', result,
                         'version_before', 'PXR7 V1.02', 'version_after', 'PXR7 V1.03',
                         'attempts', 1, 'duration_s', 4.412)::text,
       'http://127.0.0.1:8470'
FROM (SELECT g, 'Bench ' || (g % 8) AS bench, 'PX' || lpad((g % 16)::text, 6, '0') AS lane,
             to_char(timestamp '2026-01-01' + g * interval '20 seconds',
                     'YYYY-MM-DD"T"HH24:MI:SS"Z"') AS f,
             CASE WHEN g % 10 = 0 THEN 'no_handshake' WHEN g % 7 = 0 THEN 'current'
                  ELSE 'ok' END AS result
      FROM generate_series(1, :rows) AS g) AS made;
INSERT INTO record_totals (bench, lane, day, ok, current, failed)
SELECT bench, lane, day, count(*) FILTER (WHERE result = 'ok'),
       count(*) FILTER (WHERE result = 'current'),
       count(*) FILTER (WHERE result NOT IN ('ok', 'current'))
FROM record_lines GROUP BY bench, lane, day;
ANALYZE;
