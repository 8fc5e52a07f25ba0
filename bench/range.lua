-- wrk script: each request asks for one byte range of RANGE_BYTES at a
-- random offset of a file of FILE_SIZE bytes.
-- Usage: wrk ... -s range.lua URL -- FILE_SIZE RANGE_BYTES SEED
local size, span

function init(args)
  size = tonumber(args[1])
  span = tonumber(args[2])
  math.randomseed(tonumber(args[3]) or os.time())
end

function request()
  local first = math.random(0, size - span)
  return wrk.format("GET", nil, { ["Range"] = string.format("bytes=%d-%d", first, first + span - 1) })
end
