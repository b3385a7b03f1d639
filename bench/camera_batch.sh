# Sourced by the exifreport benchmarks. camera_jpegs BUILD DIR COUNT writes
# COUNT camera JPEGs into DIR: a 12-megapixel body of about 5 MB, like a
# camera's, with a 160x120 thumbnail and camera Exif (make_camera_batch);
# body.jpg is left beside DIR for benchmarks that encode it otherwise.
camera_jpegs() {
  local build=$1 dir=$2 count=$3 work
  work=$(dirname "$dir")
  mkdir -p "$dir"
  convert -size 4000x3000 -seed 7 plasma:olive-skyblue -attenuate 0.3 +noise Gaussian -quality 90 "$work/body.jpg"
  convert "$work/body.jpg" -resize 160x120 -quality 80 -strip "$work/thumb.jpg"
  "$build/bench/make_camera_batch" "$work/body.jpg" "$work/thumb.jpg" "$dir" "$count"
}
